// The LV2 plug-in's DSP binary (Lumetra.lv2/Lumetra.so): one descriptor, whose instances each hold
// the effect without an editor and drive it through its members. The control ports become
// parameter changes, run() is its processReplacing, and after every block the band levels go to
// the level outputs, from which the UI binary's editor (Lv2Ui.cpp) draws its meters.
// instantiate, activate, deactivate, cleanup: the host's instantiation thread; connect_port and
// run: the audio thread.
#include <lv2/core/lv2.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

#include "module/EffectFactory.h"
#include "module/lv2/Lv2Ports.h"
#include "plugin/ADelay.h"

namespace {

using namespace lumetra::lv2;

// The effect's host: it asks for the VST version while it is made, and nothing later needs an answer.
VstIntPtr effectHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) noexcept {
    return opcode == audioMasterVersion ? 2400 : 0;
}

class Instance {
public:
    explicit Instance(std::unique_ptr<AudioEffect> effectIn)
        : effect(std::move(effectIn)), analyzer(dynamic_cast<ADelay*>(effect.get())) {
        for (float& value : applied) value = std::numeric_limits<float>::quiet_NaN();
    }
    ~Instance() {
        if (effect) effect->dispatcher(effClose, 0, 0, nullptr, 0.0f);  // the effect's own closing; then deleted
    }

    bool usable() const { return analyzer != nullptr; }
    void connect(uint32_t port, void* data) {  // Audio thread
        if (port < kNumPorts) ports[port] = static_cast<float*>(data);
    }
    void run(uint32_t frames);  // Audio thread

    std::unique_ptr<AudioEffect> effect;

private:
    void applyControls();
    void process(float* in[2], float* out[2], uint32_t frames);

    ADelay* analyzer;  // the effect, for its band levels
    float* ports[kNumPorts] = {};
    float applied[kNumControls];  // port values last given to the effect; NaN before the first
};

// A control port's value reaches the effect only when it changed: setting Resp recomputes every
// detector's times, setting Delay moves the analysis delay. NaN (no value) keeps the last one.
void Instance::applyControls() {
    for (uint32_t i = 0; i < kNumControls; ++i) {
        const ControlPortInfo& control = kControlPorts[i];
        const float* port = ports[control.index];
        if (port == nullptr) continue;
        const float value = clampPortValue(control, *port);
        if (std::isnan(value) || value == applied[i]) continue;
        applied[i] = value;
        effect->setParameter(control.parameter, parameterValue(control, value));
    }
}

// The effect copies each input to its output, then analyses the inputs. An LV2 host may give one
// buffer to several ports; where an output is the other channel's input, that input would be
// overwritten before it is read. Then the effect is given the inputs as its outputs (it analyses
// and copies nothing), and the copies are made here in an order that reads each input first.
void Instance::process(float* in[2], float* out[2], uint32_t frames) {
    const auto n = static_cast<VstInt32>(frames);
    if (out[0] != in[1] && out[1] != in[0]) {
        effect->processReplacing(in, out, n);
        return;
    }
    float* inPlace[2] = {in[0], in[1]};
    effect->processReplacing(inPlace, inPlace, n);
    auto copy = [&](int c) {
        if (out[c] != in[c]) std::memmove(out[c], in[c], size_t{frames} * sizeof(float));
    };
    if (out[0] == in[1] && out[1] == in[0]) {  // the channels swap buffers: exchanged piece by piece
        if (in[0] == in[1]) return;
        float piece[256];
        for (uint32_t at = 0; at < frames; at += 256) {
            const size_t bytes = size_t{frames - at < 256 ? frames - at : 256} * sizeof(float);
            std::memcpy(piece, in[0] + at, bytes);
            std::memcpy(in[0] + at, in[1] + at, bytes);
            std::memcpy(in[1] + at, piece, bytes);
        }
    } else if (out[0] == in[1]) {
        copy(1);
        copy(0);
    } else {
        copy(0);
        copy(1);
    }
}

// The audio goes to the effect in pieces of at most kPiece frames: the band levels do not depend on
// how it is split, and the effect's buffers are made for longer blocks than that at every rate it
// analyses (one second, at least 1000 frames; a plain kernel's for its default block of 1024), so
// none grows on this thread whatever the host's block.
void Instance::run(uint32_t frames) {
    constexpr uint32_t kPiece = 512;
    applyControls();
    float* in[2] = {ports[kInLeft], ports[kInRight]};
    float* out[2] = {ports[kOutLeft], ports[kOutRight]};
    if (in[0] && in[1] && out[0] && out[1]) {  // a port left unconnected: no audio to pass or analyse
        for (uint32_t at = 0; at < frames; at += kPiece) {
            float* pieceIn[2] = {in[0] + at, in[1] + at};
            float* pieceOut[2] = {out[0] + at, out[1] + at};
            process(pieceIn, pieceOut, frames - at < kPiece ? frames - at : kPiece);
        }
    }
    float levels[kNumBands];
    analyzer->bandLevelsDb(levels);
    for (uint32_t j = 0; j < kNumBands; ++j)
        if (float* port = ports[kFirstLevelPort + j]) *port = levels[j];
}

// The host's instantiation thread, as activate, deactivate and cleanup.
LV2_Handle instantiate(const LV2_Descriptor*, double rateHz, const char*, const LV2_Feature* const*) noexcept {
    // A rate the bands cannot be built for would analyse other bands than the outputs name.
    if (!ADelay::canAnalyseAt(static_cast<float>(rateHz))) return nullptr;
    try {
        std::unique_ptr<AudioEffect> effect(createProcessingObject(effectHost));
        auto instance = std::make_unique<Instance>(std::move(effect));
        if (!instance->effect || !instance->usable()) return nullptr;
        instance->effect->dispatcher(effOpen, 0, 0, nullptr, 0.0f);
        instance->effect->dispatcher(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rateHz));
        // The bands built for this rate here, where allocating is allowed; activate only clears.
        instance->effect->dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        return instance.release();
    } catch (...) {
        return nullptr;
    }
}

Instance* instanceOf(LV2_Handle handle) { return static_cast<Instance*>(handle); }

void connectPort(LV2_Handle handle, uint32_t port, void* data) noexcept {  // Audio thread
    if (handle) instanceOf(handle)->connect(port, data);
}

// Clears the band levels and the analysis delay (the effect's resume), and builds the bands for
// the instance's rate.
void activate(LV2_Handle handle) noexcept {
    if (handle) try {
            instanceOf(handle)->effect->dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        } catch (...) {
        }
}

void run(LV2_Handle handle, uint32_t frames) noexcept {  // Audio thread
    if (handle) try {
            instanceOf(handle)->run(frames);
        } catch (...) {
        }
}

void deactivate(LV2_Handle handle) noexcept {
    if (handle) try {
            instanceOf(handle)->effect->dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
        } catch (...) {
        }
}

void cleanup(LV2_Handle handle) noexcept {
    try {
        delete instanceOf(handle);
    } catch (...) {
    }
}

const void* extensionData(const char*) noexcept { return nullptr; }

const LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate, run, deactivate, cleanup,
                                    extensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index) noexcept {
    return index == 0 ? &kDescriptor : nullptr;
}
