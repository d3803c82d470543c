#include "host/ClapHost.h"

#include <algorithm>
#include <cstring>

#if !defined(_WIN32)
#include <poll.h>
#endif

namespace lumetra {

thread_local bool ClapHost::inAudioThread = false;

// ---- Event lists.

ClapEventList::ClapEventList() {
    inputList.ctx = this;
    inputList.size = [](const clap_input_events_t* list) noexcept {
        return static_cast<uint32_t>(static_cast<const ClapEventList*>(list->ctx)->size());
    };
    inputList.get = [](const clap_input_events_t* list, uint32_t index) noexcept -> const clap_event_header_t* {
        const auto* self = static_cast<const ClapEventList*>(list->ctx);
        return index < self->size() ? &(*self)[index] : nullptr;
    };
    outputList.ctx = this;
    outputList.try_push = [](const clap_output_events_t* list, const clap_event_header_t* event) noexcept {
        auto* self = static_cast<ClapEventList*>(list->ctx);
        if (event == nullptr || self->room == 0) return false;
        try {
            self->add(*event);
        } catch (...) {
            return false;
        }
        if (self->room != SIZE_MAX) --self->room;
        return true;
    };
}

void ClapEventList::add(const clap_event_header_t& event) {
    const size_t size = std::max<size_t>(event.size, sizeof event);  // a short one: its header
    std::vector<uint64_t> bytes((size + 7) / 8, 0);
    std::memcpy(bytes.data(), &event, size);
    events.push_back(std::move(bytes));
}

void ClapEventList::addValue(uint32_t time, clap_id param, double value) {
    clap_event_param_value_t event{};
    event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    event.param_id = param;
    event.note_id = -1;
    event.port_index = -1;
    event.channel = -1;
    event.key = -1;
    event.value = value;
    add(event.header);
}

void ClapEventList::addGesture(uint32_t time, clap_id param, bool begin) {
    clap_event_param_gesture_t event{};
    event.header = {sizeof event, time, CLAP_CORE_EVENT_SPACE_ID,
                    begin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END, 0};
    event.param_id = param;
    add(event.header);
}

const clap_event_header_t& ClapEventList::operator[](size_t i) const {
    return *reinterpret_cast<const clap_event_header_t*>(events[i].data());
}

// ---- The host's extensions.

namespace {

const clap_host_params_t kParams = {
    [](const clap_host_t* h, clap_param_rescan_flags flags) noexcept {
        try {
            ClapHost::of(h)->rescans.push_back(flags);
        } catch (...) {
        }
    },
    [](const clap_host_t*, clap_id, clap_param_clear_flags) noexcept {},
    [](const clap_host_t* h) noexcept {
        auto* self = ClapHost::of(h);
        ++self->flushRequests;
        if (self->onRequestFlush) self->onRequestFlush();
    },
};

const clap_host_state_t kState = {[](const clap_host_t* h) noexcept { ++ClapHost::of(h)->dirtyMarks; }};

const clap_host_gui_t kGui = {
    [](const clap_host_t*) noexcept {},
    [](const clap_host_t*, uint32_t, uint32_t) noexcept { return false; },
    [](const clap_host_t*) noexcept { return false; },
    [](const clap_host_t*) noexcept { return false; },
    [](const clap_host_t*, bool) noexcept {},
};

const clap_host_latency_t kLatency = {[](const clap_host_t*) noexcept {}};

const clap_host_timer_support_t kTimers = {
    [](const clap_host_t* h, uint32_t periodMs, clap_id* id) noexcept {
        auto* self = ClapHost::of(h);
        if (id == nullptr) return false;
        try {
            *id = static_cast<clap_id>(self->timers.size() + 1);
            while (self->timers.count(*id)) ++*id;
            self->timers[*id] = periodMs;
        } catch (...) {
            return false;
        }
        return true;
    },
    [](const clap_host_t* h, clap_id id) noexcept { return ClapHost::of(h)->timers.erase(id) == 1; },
};

const clap_host_posix_fd_support_t kFds = {
    [](const clap_host_t* h, int fd, clap_posix_fd_flags_t flags) noexcept {
        auto* self = ClapHost::of(h);
        if (fd < 0 || self->fds.count(fd)) return false;
        try {
            self->fds[fd] = flags;
        } catch (...) {
            return false;
        }
        return true;
    },
    [](const clap_host_t* h, int fd, clap_posix_fd_flags_t flags) noexcept {
        auto* self = ClapHost::of(h);
        auto it = self->fds.find(fd);
        if (it == self->fds.end()) return false;
        it->second = flags;
        return true;
    },
    [](const clap_host_t* h, int fd) noexcept { return ClapHost::of(h)->fds.erase(fd) == 1; },
};

const clap_host_thread_check_t kThreadCheck = {
    [](const clap_host_t* h) noexcept {
        return std::this_thread::get_id() == ClapHost::of(h)->mainThread;
    },
    [](const clap_host_t*) noexcept { return ClapHost::inAudioThread; },
};

// Streams over a byte vector that move at most chunk bytes per call.
struct OutStream {
    std::vector<uint8_t>* bytes;
    size_t chunk;
};
struct InStream {
    const std::vector<uint8_t>* bytes;
    size_t at;
    size_t chunk;
};

}  // namespace

ClapHost* ClapHost::of(const clap_host_t* host) { return static_cast<ClapHost*>(host->host_data); }

const void* ClapHost::hostExtension(const clap_host_t*, const char* id) {
    if (id == nullptr) return nullptr;
    const std::string name = id;
    if (name == CLAP_EXT_PARAMS) return &kParams;
    if (name == CLAP_EXT_STATE) return &kState;
    if (name == CLAP_EXT_GUI) return &kGui;
    if (name == CLAP_EXT_LATENCY) return &kLatency;
    if (name == CLAP_EXT_TIMER_SUPPORT) return &kTimers;
    if (name == CLAP_EXT_THREAD_CHECK) return &kThreadCheck;
#if !defined(_WIN32)
    if (name == CLAP_EXT_POSIX_FD_SUPPORT) return &kFds;
#endif
    return nullptr;
}

ClapHost::ClapHost() : mainThread(std::this_thread::get_id()) {
    hostObject.clap_version = CLAP_VERSION;
    hostObject.host_data = this;
    hostObject.name = "lumetra";
    hostObject.vendor = "Lumetra";
    hostObject.url = "";
    hostObject.version = "1";
    hostObject.get_extension = [](const clap_host_t* h, const char* id) noexcept {
        try {
            return hostExtension(h, id);
        } catch (...) {
            return static_cast<const void*>(nullptr);
        }
    };
    hostObject.request_restart = [](const clap_host_t* h) noexcept { ++ClapHost::of(h)->restartRequests; };
    hostObject.request_process = [](const clap_host_t* h) noexcept { ++ClapHost::of(h)->processRequests; };
    hostObject.request_callback = [](const clap_host_t* h) noexcept { ++ClapHost::of(h)->callbackRequests; };
}

ClapHost::~ClapHost() { unload(); }

LoadResult ClapHost::fail(std::string message) {
    unload();
    errorText = message;
    return {false, std::move(message)};
}

LoadResult ClapHost::load(const std::string& path) {
    unload();
    errorText.clear();
    std::string message;
    module = openModuleFile(path, message);
    if (module == nullptr) return fail(message);
    entryPtr = static_cast<const clap_plugin_entry_t*>(findSymbol(module, "clap_entry"));
    if (entryPtr == nullptr) return fail(path + ": no CLAP entry (clap_entry)");
    if (!clap_version_is_compatible(entryPtr->clap_version) || !entryPtr->init || !entryPtr->get_factory)
        return fail(path + ": not a CLAP 1.x entry");
    if (!entryPtr->init(path.c_str())) return fail(path + ": the entry's init failed");
    entryInitialised = true;
    factoryPtr = static_cast<const clap_plugin_factory_t*>(entryPtr->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (factoryPtr == nullptr || !factoryPtr->get_plugin_count || !factoryPtr->get_plugin_descriptor ||
        !factoryPtr->create_plugin)
        return fail(path + ": no plug-in factory");
    return {true, {}};
}

bool ClapHost::create(const std::string& id) {
    destroyPlugin();
    if (factoryPtr == nullptr) return false;
    std::string wanted = id;
    if (wanted.empty()) {
        const clap_plugin_descriptor_t* first =
            factoryPtr->get_plugin_count(factoryPtr) > 0 ? factoryPtr->get_plugin_descriptor(factoryPtr, 0) : nullptr;
        if (first == nullptr || first->id == nullptr) {
            errorText = "the factory describes no plug-in";
            return false;
        }
        wanted = first->id;
    }
    pluginPtr = factoryPtr->create_plugin(factoryPtr, &hostObject, wanted.c_str());
    if (pluginPtr == nullptr) {
        errorText = "the factory created no plug-in " + wanted;
        return false;
    }
    if (!pluginPtr->init(pluginPtr)) {
        pluginPtr->destroy(pluginPtr);
        pluginPtr = nullptr;
        errorText = "the plug-in " + wanted + " failed to initialise";
        return false;
    }
    return true;
}

void ClapHost::destroyPlugin() {
    if (pluginPtr == nullptr) return;
    deactivate();
    pluginPtr->destroy(pluginPtr);
    pluginPtr = nullptr;
}

void ClapHost::unload() {
    destroyPlugin();
    if (entryInitialised && entryPtr) entryPtr->deinit();
    entryInitialised = false;
    entryPtr = nullptr;
    factoryPtr = nullptr;
    if (module) closeModule(module);
    module = nullptr;
}

bool ClapHost::activate(double rateHz, uint32_t maxFrames) {
    if (pluginPtr == nullptr) return false;
    deactivate();
    if (!pluginPtr->activate(pluginPtr, rateHz, 1, maxFrames)) return false;
    active = true;
    inAudioThread = true;
    pluginPtr->start_processing(pluginPtr);
    inAudioThread = false;
    return true;
}

void ClapHost::deactivate() {
    if (pluginPtr == nullptr || !active) return;
    inAudioThread = true;
    pluginPtr->stop_processing(pluginPtr);
    inAudioThread = false;
    pluginPtr->deactivate(pluginPtr);
    active = false;
}

clap_process_status ClapHost::process(float* left, float* right, float* outLeft, float* outRight, uint32_t frames,
                                      const ClapEventList* in, ClapEventList* out) {
    if (pluginPtr == nullptr) return CLAP_PROCESS_ERROR;
    float* ins[2] = {left, right};
    float* outs[2] = {outLeft, outRight};
    clap_audio_buffer_t input{ins, nullptr, 2, 0, 0};
    clap_audio_buffer_t output{outs, nullptr, 2, 0, 0};
    clap_process_t block{};
    block.steady_time = -1;
    block.frames_count = frames;
    block.audio_inputs = left ? &input : nullptr;
    block.audio_inputs_count = left ? 1 : 0;
    block.audio_outputs = &output;
    block.audio_outputs_count = 1;
    discarded.clear();
    block.in_events = (in ? in : &noEvents)->input();
    block.out_events = (out ? out : &discarded)->output();
    inAudioThread = true;
    const clap_process_status status = pluginPtr->process(pluginPtr, &block);
    inAudioThread = false;
    return status;
}

void ClapHost::flush(const ClapEventList* in, ClapEventList* out) {
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    if (params == nullptr) return;
    discarded.clear();
    params->flush(pluginPtr, (in ? in : &noEvents)->input(), (out ? out : &discarded)->output());
}

std::vector<clap_param_info_t> ClapHost::params() const {
    std::vector<clap_param_info_t> infos;
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    if (params == nullptr) return infos;
    const uint32_t count = params->count(pluginPtr);
    for (uint32_t i = 0; i < count; ++i) {
        clap_param_info_t info{};
        if (params->get_info(pluginPtr, i, &info)) infos.push_back(info);
    }
    return infos;
}

std::optional<double> ClapHost::value(clap_id id) const {
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    double v = 0.0;
    if (params == nullptr || !params->get_value(pluginPtr, id, &v)) return std::nullopt;
    return v;
}

std::optional<std::string> ClapHost::valueText(clap_id id, double v) const {
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    char text[256];
    std::memset(text, 0, sizeof text);
    if (params == nullptr || !params->value_to_text(pluginPtr, id, v, text, sizeof text)) return std::nullopt;
    text[sizeof text - 1] = '\0';
    return std::string(text);
}

std::optional<double> ClapHost::textValue(clap_id id, const std::string& text) const {
    const auto* params = extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    double v = 0.0;
    if (params == nullptr || !params->text_to_value(pluginPtr, id, text.c_str(), &v)) return std::nullopt;
    return v;
}

std::optional<std::vector<uint8_t>> ClapHost::saveState(size_t chunk) const {
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    if (state == nullptr) return std::nullopt;
    std::vector<uint8_t> bytes;
    OutStream context{&bytes, std::max<size_t>(chunk, 1)};
    clap_ostream_t stream{&context, [](const clap_ostream_t* s, const void* buffer, uint64_t size) noexcept -> int64_t {
                              auto* c = static_cast<OutStream*>(s->ctx);
                              const size_t n = static_cast<size_t>(std::min<uint64_t>(size, c->chunk));
                              const auto* from = static_cast<const uint8_t*>(buffer);
                              try {
                                  c->bytes->insert(c->bytes->end(), from, from + n);
                              } catch (...) {
                                  return -1;
                              }
                              return static_cast<int64_t>(n);
                          }};
    if (!state->save(pluginPtr, &stream)) return std::nullopt;
    return bytes;
}

bool ClapHost::loadState(const std::vector<uint8_t>& bytes, size_t chunk) const {
    const auto* state = extension<clap_plugin_state_t>(CLAP_EXT_STATE);
    if (state == nullptr) return false;
    InStream context{&bytes, 0, std::max<size_t>(chunk, 1)};
    clap_istream_t stream{&context, [](const clap_istream_t* s, void* buffer, uint64_t size) noexcept -> int64_t {
                              auto* c = static_cast<InStream*>(s->ctx);
                              const size_t n = static_cast<size_t>(
                                  std::min<uint64_t>({size, c->chunk, c->bytes->size() - c->at}));
                              if (n) std::memcpy(buffer, c->bytes->data() + c->at, n);
                              c->at += n;
                              return static_cast<int64_t>(n);
                          }};
    return state->load(pluginPtr, &stream);
}

void ClapHost::runTimers() {
    const auto* support = extension<clap_plugin_timer_support_t>(CLAP_EXT_TIMER_SUPPORT);
    if (support == nullptr) return;
    std::vector<clap_id> due;
    for (const auto& [id, period] : timers) due.push_back(id);
    for (const clap_id id : due)
        if (timers.count(id)) support->on_timer(pluginPtr, id);  // a timer may go from inside another's call
}

int ClapHost::runFds(int timeoutMs) {
#if defined(_WIN32)
    (void)timeoutMs;
    return 0;
#else
    const auto* support = extension<clap_plugin_posix_fd_support_t>(CLAP_EXT_POSIX_FD_SUPPORT);
    if (support == nullptr || fds.empty()) return 0;
    std::vector<pollfd> watched;
    for (const auto& [fd, flags] : fds)
        watched.push_back({fd, static_cast<short>(((flags & CLAP_POSIX_FD_READ) ? POLLIN : 0) |
                                                  ((flags & CLAP_POSIX_FD_WRITE) ? POLLOUT : 0)),
                           0});
    if (poll(watched.data(), watched.size(), timeoutMs) <= 0) return 0;
    int reported = 0;
    for (const pollfd& w : watched) {
        if (w.revents == 0 || fds.count(w.fd) == 0) continue;
        clap_posix_fd_flags_t flags = 0;
        if (w.revents & POLLIN) flags |= CLAP_POSIX_FD_READ;
        if (w.revents & POLLOUT) flags |= CLAP_POSIX_FD_WRITE;
        if (w.revents & (POLLERR | POLLHUP | POLLNVAL)) flags |= CLAP_POSIX_FD_ERROR;
        support->on_fd(pluginPtr, w.fd, flags);
        ++reported;
    }
    return reported;
#endif
}

}  // namespace lumetra
