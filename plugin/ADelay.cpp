#include "plugin/ADelay.h"

#include <cstring>

#include "engine/BandBank.h"
#include "engine/MeterValue.h"
#include "plugin/HostText.h"

ADelay::ADelay(audioMasterCallback audioMasterIn)
    : AudioEffectX(audioMasterIn, lumetra::kNumPrograms, lumetra::kNumParams) {
    // Allocation failures throw out of here; the entry point turns them into a null answer.
    programs = std::make_unique<ProgramSlot[]>(lumetra::kNumPrograms);
    delayValue = 0.0f;
    feedBackValue = 0.0f;
    volumeValue = 0.0f;
    modeValue = 0.0f;
    respValue = 0.0f;
    setProgram(0);  // a plain ADelay still: nothing reaches an editor, the bank is still empty
    setNumInputs(2);
    setNumOutputs(2);
    canProcessReplacing(true);
    setUniqueID(lumetra::kUniqueId);
    numChannels = 2;
    rebuildBank();
    resume();
}

ADelay::~ADelay() = default;

void ADelay::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {  // Audio thread
    processBlock(inputs, outputs, sampleFrames);
}

// UI thread (the constructor and resume). A rate that is not usable leaves the bank as built.
void ADelay::rebuildBank() { engine.rebuildBank(getSampleRate()); }

// The thread that sets Resp, or resume. Levels and filters stay; only the times change.
void ADelay::applyResponseMode() { engine.setResp(respValue); }

// UI thread; the host does not process meanwhile.
void ADelay::resume() {
    engine.prepare(getSampleRate(), getBlockSize());
    AudioEffectX::resume();
}

// Audio thread. Never throws: a buffer that cannot grow skips the analysis of that block, and the
// audio still passes through.
void ADelay::processBlock(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const int32_t channels = numChannels;
    if (sampleFrames < 0 || inputs == nullptr || outputs == nullptr || channels < 1) return;
    for (int32_t c = 0; c < channels; ++c)
        if (inputs[c] == nullptr || outputs[c] == nullptr) return;
    const auto n = static_cast<uint32_t>(sampleFrames);
    // The outputs may be the inputs themselves.
    for (int32_t c = 0; c < channels; ++c)
        if (outputs[c] != inputs[c]) std::memmove(outputs[c], inputs[c], size_t{n} * sizeof(float));
    engine.process(inputs, channels, n);
    pushMeters();
}

// Audio thread: every band's packed meter value through the virtual setParameter, band 0 first.
void ADelay::pushMeters() {
    for (int32_t j = 0; j < numBands; ++j)
        setParameter(lumetra::kFeedBack, lumetra::packedMeterValue(j, engine.meterFraction(j)));
}

void ADelay::bandLevelsDb(float decibels[lumetra::AnalyzerEngine::numBands]) const {  // Audio thread
    float levels[numBands];
    for (int32_t j = 0; j < numBands; ++j) levels[j] = engine.level(j);
    lumetra::meterDecibels(levels, decibels, numBands);
}

void ADelay::showBandLevel(int32_t band, float levelDb) {  // UI thread
    if (band < 0 || band >= numBands) return;
    const float fraction = lumetra::meterFractionOfDecibels(levelDb, volumeValue);
    setParameter(lumetra::kFeedBack, lumetra::packedMeterValue(band, fraction));
}

bool ADelay::canAnalyseAt(float rateHz) { return lumetra::isUsableSampleRate(rateHz); }

bool ADelay::getEffectName(char* name) { return lumetra::copyText(name, "Lumetra", kVstMaxEffectNameLen); }
bool ADelay::getVendorString(char* text) { return lumetra::copyText(text, "Farnwick board", kVstMaxVendorStrLen); }
bool ADelay::getProductString(char* text) {
    return lumetra::copyText(text, "Lumetra spectrum analyzer (1/3 octave)", kVstMaxProductStrLen);
}
VstInt32 ADelay::getVendorVersion() { return 1000; }
VstInt32 ADelay::getPlugCategory() { return kPlugCategEffect; }
