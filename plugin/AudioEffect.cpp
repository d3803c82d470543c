#include "plugin/AudioEffect.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "plugin/AEffEditor.h"
#include "plugin/HostText.h"

namespace {

AudioEffect* objectOf(AEffect* e) { return e ? static_cast<AudioEffect*>(e->object) : nullptr; }

// The six AEffect entries. No exception reaches the host.
VstIntPtr dispatcherEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                          float opt) noexcept {
    AudioEffect* self = objectOf(e);
    if (self == nullptr) return 0;
    try {
        if (opcode == effClose) {
            self->dispatcher(opcode, index, value, ptr, opt);
            delete self;
            return 1;
        }
        return self->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

void processEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) noexcept {
    if (AudioEffect* self = objectOf(e)) try {
            self->process(inputs, outputs, sampleFrames);
        } catch (...) {
        }
}

void processReplacingEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) noexcept {
    if (AudioEffect* self = objectOf(e)) try {
            self->processReplacing(inputs, outputs, sampleFrames);
        } catch (...) {
        }
}

void processDoubleReplacingEntry(AEffect* e, double** inputs, double** outputs, VstInt32 sampleFrames) noexcept {
    if (AudioEffect* self = objectOf(e)) try {
            self->processDoubleReplacing(inputs, outputs, sampleFrames);
        } catch (...) {
        }
}

void setParameterEntry(AEffect* e, VstInt32 index, float value) noexcept {
    if (AudioEffect* self = objectOf(e)) try {
            self->setParameter(index, value);
        } catch (...) {
        }
}

float getParameterEntry(AEffect* e, VstInt32 index) noexcept {
    if (AudioEffect* self = objectOf(e)) try {
            return self->getParameter(index);
        } catch (...) {
        }
    return 0.0f;
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMasterIn, VstInt32 numProgramsIn, VstInt32 numParamsIn)
    : audioMaster(audioMasterIn), numPrograms(numProgramsIn), numParams(numParamsIn) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatcherEntry;
    cEffect.process = processEntry;
    cEffect.setParameter = setParameterEntry;
    cEffect.getParameter = getParameterEntry;
    cEffect.numPrograms = numProgramsIn;
    cEffect.numParams = numParamsIn;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = fourCharCode('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processReplacingEntry;
    cEffect.processDoubleReplacing = processDoubleReplacingEntry;
}

AudioEffect::~AudioEffect() {
    AEffEditor* owned = editor;
    editor = nullptr;  // the editor's destructor finds itself detached already
    delete owned;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
    if (state)
        cEffect.flags |= flag;
    else
        cEffect.flags &= ~flag;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return audioMaster ? audioMaster(&cEffect, opcode, index, value, ptr, opt) : 0;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    switch (opcode) {
    case effOpen: open(); return 0;
    case effClose:
        // The window first, while the effect can still tell the host: a gesture in progress
        // ends with its end-edit.
        if (editor) editor->close();
        close();
        return 0;
    case effSetProgram:
        // The full pointer-width value is range-checked before it is narrowed.
        if (value >= 0 && value < numPrograms) setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram: return getProgram();
    case effSetProgramName:
        if (ptr) setProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetProgramName:
        if (ptr) getProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetParamLabel:
        if (ptr) getParameterLabel(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamDisplay:
        if (ptr) getParameterDisplay(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamName:
        if (ptr) getParameterName(index, static_cast<char*>(ptr));
        return 0;
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect:
        if (editor && ptr) return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
        return 0;
    case effEditOpen:
        if (editor) return editor->open(ptr) ? 1 : 0;
        return 0;
    case effEditClose:
        if (editor) editor->close();
        return 0;
    case effEditIdle:
        if (editor) editor->idle();
        return 0;
    case effIdentify: return fourCharCode('N', 'v', 'E', 'f');
    case effGetChunk: return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
    case effSetChunk: return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default: return 0;
    }
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    if (audioMaster) audioMaster(&cEffect, audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::getProgramName(char* name) { lumetra::copyText(name, "", kVstMaxProgNameLen); }
void AudioEffect::getParameterLabel(VstInt32, char* label) { lumetra::copyText(label, "", kVstMaxParamStrLen); }
void AudioEffect::getParameterDisplay(VstInt32, char* text) { lumetra::copyText(text, "", kVstMaxParamStrLen); }
void AudioEffect::getParameterName(VstInt32, char* text) { lumetra::copyText(text, "", kVstMaxParamStrLen); }

VstInt32 AudioEffect::getMasterVersion() {
    const VstIntPtr answer = callHost(audioMasterVersion);
    return answer == 0 ? 1 : static_cast<VstInt32>(answer);
}

VstInt32 AudioEffect::getCurrentUniqueId() { return static_cast<VstInt32>(callHost(audioMasterCurrentId)); }
void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

bool AudioEffect::isInputConnected(VstInt32 input) {
    return callHost(audioMasterPinConnected, input, 0) == 0;
}
bool AudioEffect::isOutputConnected(VstInt32 output) {
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

// Number to text. Every digit is truncated, never rounded; the result is cut to maxLen.
void AudioEffect::float2string(float value, char* text, VstInt32 maxLen) {
    if (text == nullptr) return;
    const size_t limit = maxLen > 0 ? static_cast<size_t>(maxLen) : 0;
    char scratch[32] = {0};
    double v = value;
    int count = 0;
    bool negative = false;
    if (v < 0) {
        negative = true;
        v = -v;
        count = 1;
        if (v > 9999999.0) {
            lumetra::copyText(text, "Huge!", limit);
            return;
        }
    } else if (v > 99999999.0 || !(v == v)) {
        lumetra::copyText(text, "Huge!", limit);
        return;
    }
    char digits[16];
    int numDigits = 0;
    double integ = std::floor(v);
    digits[numDigits++] = static_cast<char>('0' + static_cast<int>(std::fmod(integ, 10.0)));
    integ /= 10.0;
    count += 2;
    while (integ >= 1.0 && count < 8) {
        digits[numDigits++] = static_cast<char>('0' + static_cast<int>(std::fmod(integ, 10.0)));
        integ /= 10.0;
        count += 1;
    }
    size_t at = 0;
    if (negative) scratch[at++] = '-';
    for (int k = numDigits - 1; k >= 0; --k) scratch[at++] = digits[k];
    scratch[at++] = '.';
    if (count < 8) {
        const int n = 8 - count;
        double mantissa = std::fmod(v, 1.0) * std::pow(10.0, n);
        for (int k = n - 1; k >= 0; --k) {
            int digit = 0;
            if (mantissa > 0) {
                digit = static_cast<int>(std::fmod(mantissa, 10.0));
                mantissa /= 10.0;
            }
            scratch[at + static_cast<size_t>(k)] = static_cast<char>('0' + digit);
        }
        at += static_cast<size_t>(n);
    }
    scratch[at] = '\0';
    lumetra::copyText(text, scratch, limit);
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen) {
    if (text == nullptr) return;
    const size_t limit = maxLen > 0 ? static_cast<size_t>(maxLen) : 0;
    if (value >= 100000000) {
        lumetra::copyText(text, "Huge!", limit);
        return;
    }
    char scratch[16];
    size_t at = 0;
    int64_t v = value;
    if (v < 0) {
        scratch[at++] = '-';
        v = -v;
    }
    if (v >= 1000000000) {
        lumetra::copyText(text, "Huge!", limit);  // below -999999999: not a display value
        return;
    }
    bool started = false;
    for (int64_t divisor = 100000000; divisor >= 1; divisor /= 10) {
        const int64_t digit = v / divisor;
        v -= digit * divisor;
        if (started || digit > 0) {
            scratch[at++] = static_cast<char>('0' + digit);
            started = true;
        }
    }
    if (!started) scratch[at++] = '0';
    scratch[at] = '\0';
    lumetra::copyText(text, scratch, limit);
}

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen) {
    if (text == nullptr) return;
    if (value <= 0 || !(value == value)) {
        lumetra::copyText(text, "-oo", maxLen > 0 ? static_cast<size_t>(maxLen) : 0);
        return;
    }
    float2string(static_cast<float>(20.0 * std::log10(static_cast<double>(value))), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen) {
    const float rate = getSampleRate();
    float2string(samples == 0.0f ? 0.0f : rate / samples, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen) {
    float2string(static_cast<float>(static_cast<double>(samples) * 1000.0 / getSampleRate()), text, maxLen);
}
