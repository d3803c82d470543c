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

    // For format modules that show the band levels apart from the editor: LV2's level outputs, and
    // an LV2 editor that gets them from the host, perhaps in another process than the processing.
    // The 32 band levels after the last block, in dB as the meters compute them: 20 log10(level +
    // 1e-20), -400 in silence; band 0 first. Audio thread, after processReplacing.
    void bandLevelsDb(float decibels[lumetra::AnalyzerEngine::numBands]) const;
    // A band level measured by another instance of this effect, in dB as bandLevelsDb gives it,
    // onto this effect's editor: its packed meter value at the current Volume through
    // setParameter(1), the fraction bit for bit as the block processing computes it. A band
    // outside 0 to 31 does nothing. UI thread.
    void showBandLevel(int32_t band, float levelDb);
    // Whether the engine builds its bands for this rate (1 kHz to 768 kHz); at any other rate the
    // bank keeps the rate it was built for, and the analysis would be of the wrong bands.
    static bool canAnalyseAt(float rateHz);

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
