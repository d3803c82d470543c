#include "module/clap/ClapPlugin.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "engine/BandBank.h"
#include "module/EffectFactory.h"
#include "module/clap/ClapExtensions.h"
#include "plugin/ADelay.h"

namespace lumetra {
namespace {

// The clap_plugin entries.
bool initEntry(const clap_plugin_t* p) noexcept {
    return guarded(p, false, [](ClapPlugin& self) { return self.init(); });
}

void destroyEntry(const clap_plugin_t* p) noexcept {
    if (ClapPlugin* self = ClapPlugin::from(p)) delete self;  // the destructor catches what the core throws
}

bool activateEntry(const clap_plugin_t* p, double rateHz, uint32_t minFrames, uint32_t maxFrames) noexcept {
    return guarded(p, false, [&](ClapPlugin& self) { return self.activate(rateHz, minFrames, maxFrames); });
}

void deactivateEntry(const clap_plugin_t* p) noexcept {
    guarded(p, 0, [](ClapPlugin& self) { return self.deactivate(), 0; });
}

bool startProcessingEntry(const clap_plugin_t* p) noexcept { return ClapPlugin::from(p) != nullptr; }
void stopProcessingEntry(const clap_plugin_t*) noexcept {}

void resetEntry(const clap_plugin_t* p) noexcept {
    guarded(p, 0, [](ClapPlugin& self) { return self.reset(), 0; });
}

clap_process_status processEntry(const clap_plugin_t* p, const clap_process_t* process) noexcept {
    if (process == nullptr) return CLAP_PROCESS_ERROR;
    return guarded(p, clap_process_status{CLAP_PROCESS_ERROR},
                   [&](ClapPlugin& self) { return self.process(*process); });
}

const void* extensionEntry(const clap_plugin_t* p, const char* id) noexcept {
    return guarded(p, static_cast<const void*>(nullptr), [&](ClapPlugin& self) { return self.extension(id); });
}

void onMainThreadEntry(const clap_plugin_t*) noexcept {}

// Input and output buffers of the one stereo port, or null when the host gave none usable.
float* const* stereoBuffers(const clap_audio_buffer_t* buffers, uint32_t count) {
    if (buffers == nullptr || count < 1) return nullptr;
    const clap_audio_buffer_t& port = buffers[0];
    if (port.channel_count < 2 || port.data32 == nullptr || port.data32[0] == nullptr || port.data32[1] == nullptr)
        return nullptr;
    return port.data32;
}

// One stereo input and one stereo output, the main ports, which may share buffers.
uint32_t portCount(const clap_plugin_t* p, bool) noexcept { return ClapPlugin::from(p) ? 1 : 0; }

bool portInfo(const clap_plugin_t* p, uint32_t index, bool isInput, clap_audio_port_info_t* info) noexcept {
    if (ClapPlugin::from(p) == nullptr || index != 0 || info == nullptr) return false;
    *info = {};
    info->id = 0;
    std::strcpy(info->name, isInput ? "Input" : "Output");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = 0;
    return true;
}

uint32_t latency(const clap_plugin_t*) noexcept { return 0; }  // the audio passes untouched

}  // namespace

const clap_plugin_audio_ports_t kAudioPortsExtension = {portCount, portInfo};
const clap_plugin_latency_t kLatencyExtension = {latency};

ClapPlugin::ClapPlugin(const clap_host_t* hostIn) : host(hostIn) {
    plugin.desc = &descriptor;
    plugin.plugin_data = this;
    plugin.init = initEntry;
    plugin.destroy = destroyEntry;
    plugin.activate = activateEntry;
    plugin.deactivate = deactivateEntry;
    plugin.start_processing = startProcessingEntry;
    plugin.stop_processing = stopProcessingEntry;
    plugin.reset = resetEntry;
    plugin.process = processEntry;
    plugin.get_extension = extensionEntry;
    plugin.on_main_thread = onMainThreadEntry;
}

// The window first, then the core; from here on the core's calls reach no one (a gesture that
// the editor's closing ends goes nowhere: the host is done with this instance).
ClapPlugin::~ClapPlugin() {
    if (effect == nullptr) return;
    try {
        effect->getAeffect()->user = nullptr;
        closeEditor();
        effect->dispatcher(effClose, 0, 0, nullptr, 0.0f);
    } catch (...) {
    }
    delete effect;
}

ClapPlugin* ClapPlugin::from(const clap_plugin_t* object) {
    if (object == nullptr || object->desc != &descriptor || object->plugin_data == nullptr) return nullptr;
    return static_cast<ClapPlugin*>(object->plugin_data);
}

bool ClapPlugin::onMainThread() const {
    return hostThreads == nullptr || hostThreads->is_main_thread == nullptr || hostThreads->is_main_thread(host);
}

// Main thread. The host's extensions may be asked for from here on, not in the factory.
bool ClapPlugin::init() {
    if (effect != nullptr) return true;  // a second init changes nothing
    if (host && host->get_extension) {
        auto find = [&](const char* id) { return host->get_extension(host, id); };
        hostParams = static_cast<const clap_host_params_t*>(find(CLAP_EXT_PARAMS));
        hostTimers = static_cast<const clap_host_timer_support_t*>(find(CLAP_EXT_TIMER_SUPPORT));
#if !defined(_WIN32)
        hostFds = static_cast<const clap_host_posix_fd_support_t*>(find(CLAP_EXT_POSIX_FD_SUPPORT));
#endif
        hostThreads = static_cast<const clap_host_thread_check_t*>(find(CLAP_EXT_THREAD_CHECK));
    }
    AudioEffect* created = createEffectObject(&ClapPlugin::audioMaster);
    effect = dynamic_cast<ADelay*>(created);
    if (effect == nullptr) {
        delete created;
        return false;
    }
    effect->getAeffect()->user = this;
    effect->dispatcher(effOpen, 0, 0, nullptr, 0.0f);
    return true;
}

// Main thread, not processing. A rate the band bank cannot be built for is refused, as is a
// block size the effect cannot name; the effect then stays as it was.
bool ClapPlugin::activate(double rateHz, uint32_t minFrames, uint32_t maxFrames) {
    if (effect == nullptr || !onMainThread()) return false;
    const auto rate = static_cast<float>(rateHz);
    if (!std::isfinite(rateHz) || !isUsableSampleRate(rate) || maxFrames < 1 || maxFrames > INT32_MAX ||
        minFrames > maxFrames)
        return false;
    if (active) effect->dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effSetSampleRate, 0, 0, nullptr, rate);
    effect->dispatcher(effSetBlockSize, 0, static_cast<VstIntPtr>(maxFrames), nullptr, 0.0f);
    effect->dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    active = true;
    return true;
}

void ClapPlugin::deactivate() {  // main thread
    if (effect == nullptr || !active || !onMainThread()) return;
    effect->dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    active = false;
}

// Audio thread: levels and the delay ring cleared, as a resume does. The bank was built for this
// rate and the work buffers for this block size at activation, so nothing is allocated.
void ClapPlugin::reset() {
    if (effect != nullptr && active) effect->resume();
}

// Audio thread. Each parameter event takes effect at its sample offset: the block is processed in
// pieces split there (the analysis gives the same numbers for any split). Events the host sent out
// of order, or past the block's end, take effect where the block then stands.
clap_process_status ClapPlugin::process(const clap_process_t& p) {
    if (effect == nullptr) return CLAP_PROCESS_ERROR;
    float* const* in = stereoBuffers(p.audio_inputs, p.audio_inputs_count);
    float* const* out = stereoBuffers(p.audio_outputs, p.audio_outputs_count);
    const uint32_t frames = p.frames_count;
    const clap_input_events_t* events = p.in_events;
    const uint32_t count = events && events->size && events->get ? events->size(events) : 0;
    uint32_t done = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const clap_event_header_t* event = events->get(events, i);
        if (event == nullptr) continue;
        const uint32_t at = std::min(event->time, frames);
        if (at > done) {
            runFrames(in, out, done, at - done);
            done = at;
        }
        applyEvent(*event);
    }
    runFrames(in, out, done, frames - done);
    sendEdits(p.out_events);
    return CLAP_PROCESS_CONTINUE;
}

// Audio thread. Without an input the output is silence, analysed as such; without an output
// nothing is processed.
void ClapPlugin::runFrames(float* const* in, float* const* out, uint32_t from, uint32_t count) {
    if (out == nullptr) return;
    while (count > 0) {
        const uint32_t n = std::min<uint32_t>(count, INT32_MAX);
        float* outs[2] = {out[0] + from, out[1] + from};
        float* ins[2] = {outs[0], outs[1]};
        if (in != nullptr) {
            ins[0] = in[0] + from;
            ins[1] = in[1] + from;
        } else {
            std::memset(outs[0], 0, size_t{n} * sizeof(float));
            std::memset(outs[1], 0, size_t{n} * sizeof(float));
        }
        effect->processReplacing(ins, outs, static_cast<VstInt32>(n));
        from += n;
        count -= n;
    }
}

// A value for one of the host's parameters, in range and finite, is set on the effect (which
// tells the editor); every other event, and a value event too short to be one, is ignored.
void ClapPlugin::applyEvent(const clap_event_header_t& event) {
    if (event.space_id != CLAP_CORE_EVENT_SPACE_ID || event.type != CLAP_EVENT_PARAM_VALUE ||
        event.size < sizeof(clap_event_param_value_t))
        return;
    const auto& change = reinterpret_cast<const clap_event_param_value_t&>(event);
    if (!isHostParam(change.param_id) || !std::isfinite(change.value)) return;
    const double value = std::clamp(change.value, 0.0, 1.0);
    effect->setParameter(static_cast<VstInt32>(change.param_id), static_cast<float>(value));
}

// Main thread while the host is not processing, else audio thread.
void ClapPlugin::flush(const clap_input_events_t* in, const clap_output_events_t* out) {
    if (effect == nullptr) return;
    const uint32_t count = in && in->size && in->get ? in->size(in) : 0;
    for (uint32_t i = 0; i < count; ++i)
        if (const clap_event_header_t* event = in->get(in, i)) applyEvent(*event);
    sendEdits(out);
}

// ---- The editor's edits to the host.

VstIntPtr ClapPlugin::audioMaster(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterVersion) return 2400;
    auto* self = effect ? static_cast<ClapPlugin*>(effect->user) : nullptr;
    if (self == nullptr || !isHostParam(static_cast<clap_id>(index))) return 0;
    switch (opcode) {
    case audioMasterAutomate: self->editorEdit({ParamEdit::kValue, static_cast<uint32_t>(index), opt}); return 0;
    case audioMasterBeginEdit: self->editorEdit({ParamEdit::kBegin, static_cast<uint32_t>(index), 0.0f}); return 1;
    case audioMasterEndEdit: self->editorEdit({ParamEdit::kEnd, static_cast<uint32_t>(index), 0.0f}); return 1;
    default: return 0;
    }
}

// UI thread. The host is asked for a flush once per batch: the reader clears the request before
// it takes the queue, so an edit stored meanwhile asks again.
void ClapPlugin::editorEdit(const ParamEdit& edit) {
    if (edit.kind != ParamEdit::kValue) editorGesture[edit.param] = edit.kind == ParamEdit::kBegin;
    if (!edits.push(edit)) editsLost = true;
    if (!flushRequested && hostParams && hostParams->request_flush) {
        flushRequested = true;
        hostParams->request_flush(host);
    }
}

bool ClapPlugin::sendGesture(const clap_output_events_t& out, uint16_t type, uint32_t param) {
    clap_event_param_gesture_t event{};
    event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, type, CLAP_EVENT_IS_LIVE};
    event.param_id = param;
    return out.try_push(&out, &event.header);
}

bool ClapPlugin::sendValue(const clap_output_events_t& out, uint32_t param, float value) {
    clap_event_param_value_t event{};
    event.header = {sizeof event, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, CLAP_EVENT_IS_LIVE};
    event.param_id = param;
    event.note_id = -1;
    event.port_index = -1;
    event.channel = -1;
    event.key = -1;
    event.value = value;
    return out.try_push(&out, &event.header);
}

// The reader (process or flush). A gesture is begun at most once and ended only when begun. An
// event the host's list does not take stays queued for the next call. After lost edits the host
// gets every value as it now stands and the gestures as the editor now has them.
void ClapPlugin::sendEdits(const clap_output_events_t* out) {
    if (out == nullptr || out->try_push == nullptr) return;
    flushRequested = false;
    // A gesture's begin or end sent, and what the host now knows noted; false when not taken.
    auto gesture = [&](uint32_t param, bool begin) {
        if (!sendGesture(*out, begin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END, param))
            return false;
        hostGesture[param] = begin;
        return true;
    };
    while (const ParamEdit* edit = edits.front()) {
        const uint32_t param = edit->param;
        const bool begin = edit->kind == ParamEdit::kBegin;
        bool sent = true;
        if (edit->kind == ParamEdit::kValue)
            sent = sendValue(*out, param, edit->value);
        else if (begin != hostGesture[param])
            sent = gesture(param, begin);
        if (!sent) return;
        edits.pop();
    }
    if (!editsLost) return;
    editsLost = false;
    bool complete = true;
    for (const clap_id id : kParamIds)
        if (editorGesture[id] && !hostGesture[id]) complete = gesture(id, true) && complete;
    for (const clap_id id : kParamIds)
        complete = sendValue(*out, id, effect->getParameter(static_cast<VstInt32>(id))) && complete;
    for (const clap_id id : kParamIds)
        if (!editorGesture[id] && hostGesture[id]) complete = gesture(id, false) && complete;
    if (!complete) editsLost = true;  // tried again at the next call
}

const void* ClapPlugin::extension(const char* id) const {
    if (id == nullptr) return nullptr;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kAudioPortsExtension;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kParamsExtension;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kStateExtension;
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &kLatencyExtension;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kGuiExtension;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kTimerExtension;
#if !defined(_WIN32)
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &kFdExtension;
#endif
    return nullptr;
}

}  // namespace lumetra
