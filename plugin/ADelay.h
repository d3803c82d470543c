// The effect object: parameters, programs and the analyzer engine it owns. Audio passes through
// unchanged; the analysis signal drives 32 band detectors whose levels go to the editor through
// parameter 1. rebuildBank, applyResponseMode, resume and processBlock hand their work to the
// engine.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/AnalyzerEngine.h"
#include "plugin/AudioEffectX.h"
#include "plugin/Parameters.h"
#include "plugin/ProgramSlot.h"

class ADelay : public AudioEffectX {
public:
    explicit ADelay(audioMasterCallback audioMaster);
    ~ADelay() override;

    void resume() override;                                                          // UI thread
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;  // Audio thread

    void setParameter(VstInt32 index, float value) override;  // Any thread
    float getParameter(VstInt32 index) override;              // Any thread
    void setProgram(VstInt32 program) override;
    void setProgramName(char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    // The display text parameter index would have at value, in getParameterDisplay's format
    // (Delay: the sample count at the current rate); text holds kVstMaxParamStrLen + 1. For
    // format modules whose hosts ask about values the effect does not hold. UI thread.
    void getParameterDisplayAt(VstInt32 index, float value, char* text);
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;

    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 getPlugCategory() override;

    // Audio thread: pass-through, analysis signal, delay, detectors, meter push.
    virtual void processBlock(float** inputs, float** outputs, VstInt32 sampleFrames);

    // Builds the band bank for getSampleRate(); sizes analysisBuffer and delayRing. UI thread.
    void rebuildBank();
    // Sets every detector's attack and release times from Resp. Thread that sets Resp, or resume.
    void applyResponseMode();

    std::unique_ptr<ProgramSlot[]> programs;
    lumetra::Relaxed<float> delayValue = 0.0f;
    lumetra::Relaxed<float> feedBackValue = 0.0f;
    lumetra::Relaxed<float> volumeValue = 0.0f;
    lumetra::Relaxed<float> modeValue = 0.0f;
    lumetra::Relaxed<float> respValue = 0.0f;
    int32_t numChannels = 2;
    static constexpr int32_t numBands = lumetra::AnalyzerEngine::numBands;
    // Band bank, analysis delay (delaySamples, delayRing, ringWritePos), analysis buffer.
    lumetra::AnalyzerEngine engine;

private:
    void pushMeters();  // Audio thread: every band's packed meter value through setParameter(1, ...)
    // The display text of index for value, Delay given as its sample count. UI thread.
    void formatDisplay(VstInt32 index, float value, int32_t delaySamples, char* text);
};
