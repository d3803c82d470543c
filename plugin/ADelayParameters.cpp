// The five parameters and sixteen program slots as the host, the editor and the engine see them.
#include <cstdio>
#include <cstring>

#include "engine/BandBank.h"
#include "plugin/ADelay.h"
#include "plugin/HostText.h"

namespace {

constexpr const char* kNames[lumetra::kNumParams] = {"Delay", "FeedBack", "Volume", "Mode", "Resp"};
constexpr const char* kLabels[lumetra::kNumParams] = {"samples", "amount", "dB", "", ""};
constexpr char kDefaultName[] = "Init";

bool isParameter(VstInt32 index) { return index >= 0 && index < lumetra::kNumParams; }
bool isProgram(VstInt32 index) { return index >= 0 && index < lumetra::kNumPrograms; }

}  // namespace

// Any thread; the audio thread writes parameter 1 thirty-two times per block. Each value is
// stored whole; the slot is whichever program is current at that moment.
void ADelay::setParameter(VstInt32 index, float value) {
    const VstInt32 program = curProgram;
    ProgramSlot* slot = programs && isProgram(program) ? &programs[program] : nullptr;
    switch (index) {
    case lumetra::kDelay:
        delayValue = value;
        if (slot) slot->delay = value;
        engine.setDelay(value, getSampleRate());
        break;
    case lumetra::kFeedBack:
        if (slot) slot->feedBack = value;
        feedBackValue = value;
        break;
    case lumetra::kVolume:
        if (slot) slot->volume = value;
        volumeValue = value;
        engine.setVolume(value);
        break;
    case lumetra::kMode:
        if (slot) slot->mode = value;
        modeValue = value;
        engine.setMode(value);
        break;
    case lumetra::kResp:
        if (slot) slot->resp = value;
        respValue = value;
        applyResponseMode();
        break;
    default:
        break;
    }
}

// Any thread. The stored float exactly as last set.
float ADelay::getParameter(VstInt32 index) {
    switch (index) {
    case lumetra::kDelay: return delayValue;
    case lumetra::kFeedBack: return feedBackValue;
    case lumetra::kVolume: return volumeValue;
    case lumetra::kMode: return modeValue;
    case lumetra::kResp: return respValue;
    default: return 0.0f;
    }
}

// UI thread. Applies the slot through the virtual setParameter, which writes each value back
// into the same slot. An index out of range changes nothing.
void ADelay::setProgram(VstInt32 program) {
    if (!isProgram(program) || !programs) return;
    curProgram = program;
    const ProgramSlot& slot = programs[program];
    setParameter(lumetra::kDelay, slot.delay);
    setParameter(lumetra::kFeedBack, slot.feedBack);
    setParameter(lumetra::kVolume, slot.volume);
    setParameter(lumetra::kMode, slot.mode);
    setParameter(lumetra::kResp, slot.resp);
}

// UI thread. A name too long for the slot is cut to 23 characters and its terminator.
void ADelay::setProgramName(char* name) {
    const VstInt32 program = curProgram;
    if (name == nullptr || !programs || !isProgram(program)) return;
    lumetra::copyText(programs[program].name, name, kVstMaxProgNameLen - 1);
}

// UI thread. The default name comes out numbered: "Init 1" for program 0.
void ADelay::getProgramName(char* name) {
    const VstInt32 program = curProgram;
    if (name == nullptr || !programs || !isProgram(program)) return;
    const char* stored = programs[program].name;
    if (std::memcmp(stored, kDefaultName, sizeof kDefaultName) == 0) {
        char numbered[kVstMaxProgNameLen + 8];
        std::snprintf(numbered, sizeof numbered, "%s %d", kDefaultName, static_cast<int>(program) + 1);
        lumetra::copyText(name, numbered, kVstMaxProgNameLen);
    } else {
        lumetra::copyText(name, stored, kVstMaxProgNameLen);
    }
}

// UI thread. The stored name, unnumbered; false (buffer untouched) for an index out of range.
bool ADelay::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text) {
    if (!isProgram(index) || !programs) return false;
    return lumetra::copyText(text, programs[index].name, kVstMaxProgNameLen);
}

// UI thread.
void ADelay::getParameterLabel(VstInt32 index, char* label) {
    if (isParameter(index)) lumetra::copyText(label, kLabels[index], kVstMaxParamStrLen);
}

// UI thread. Formatted in a scratch buffer, then cut to the host's limit; Delay shows samples.
void ADelay::getParameterDisplay(VstInt32 index, char* text) {
    if (!isParameter(index) || text == nullptr) return;
    const float values[lumetra::kNumParams] = {delayValue, feedBackValue, volumeValue, modeValue, respValue};
    formatDisplay(index, values[index], engine.delaySamples, text);
}

void ADelay::getParameterDisplayAt(VstInt32 index, float value, char* text) {
    if (!isParameter(index) || text == nullptr) return;
    formatDisplay(index, value, lumetra::delaySamplesFor(value, getSampleRate(), engine.bankSampleRate), text);
}

void ADelay::formatDisplay(VstInt32 index, float value, int32_t delaySamples, char* text) {
    char scratch[64] = {};
    switch (index) {
    case lumetra::kDelay: int2string(delaySamples, scratch, kVstMaxParamStrLen); break;
    case lumetra::kVolume: dB2string(value, scratch, kVstMaxParamStrLen); break;
    default: float2string(value, scratch, kVstMaxParamStrLen); break;
    }
    lumetra::copyText(text, scratch, kVstMaxParamStrLen);
}

// UI thread.
void ADelay::getParameterName(VstInt32 index, char* text) {
    if (isParameter(index)) lumetra::copyText(text, kNames[index], kVstMaxParamStrLen);
}
