#include "plugin/ADelay.h"

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
    numBands = 32;
    rebuildBank();
    resume();
}

ADelay::~ADelay() {
    programs.reset();
    delayRing = {};
    analysisBuffer = {};
    for (std::vector<FilteredDetector>& row : bank) row = {};
    bank = {};
}

void ADelay::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {  // Audio thread
    processBlock(inputs, outputs, sampleFrames);
}

bool ADelay::getEffectName(char* name) { return lumetra::copyText(name, "Lumetra", kVstMaxEffectNameLen); }
bool ADelay::getVendorString(char* text) { return lumetra::copyText(text, "Farnwick board", kVstMaxVendorStrLen); }
bool ADelay::getProductString(char* text) {
    return lumetra::copyText(text, "Lumetra spectrum analyzer (1/3 octave)", kVstMaxProductStrLen);
}
VstInt32 ADelay::getVendorVersion() { return 1000; }
VstInt32 ADelay::getPlugCategory() { return kPlugCategEffect; }
