// The analyzer on its own, with no host and no effect object: the band bank of 32 detectors (as
// the lanes of a BankKernel), the response modes, the analysis signal and its delay, and the
// meter fractions of the last block. The effect object owns one; `lumetra analyze` and the tests
// run one directly.
// prepare(), rebuildBank(): the thread that switches the effect on (never while processing).
// setMode(), setVolume(), setDelay(), setResp(): any thread, one value each, written whole.
// process() and the meter fractions: audio thread.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/BankKernel.h"
#include "engine/MeterValue.h"
#include "platform/Relaxed.h"

namespace lumetra {

class AnalyzerEngine {
public:
    static constexpr int32_t numBands = 32;

    // Builds the bank for rateHz when it is not built yet or was built for another rate (a NaN on
    // either side counts as different), then clears every band level and the delay ring, and sizes the
    // work buffers for blocks of maxBlock samples so that the first block allocates nothing.
    // An unusable rate leaves the bank as built.
    void prepare(float rateHz, int32_t maxBlock);
    // The bank for rateHz: every band set up, the current response mode applied, the analysis
    // buffer one second long and the delay ring two. Leaves the ring position alone.
    void rebuildBank(float rateHz);

    // Mode: below 0.3 the left channel, below 0.7 their sum, else the right (the Mode parameter).
    void setMode(float value) { modeValue = value; }
    // Volume 0..1 moves the meters' 60 dB window (the Volume parameter).
    void setVolume(float value) { volumeValue = value; }
    // Delay 0..1 of 0.3 s at hostRateHz, or at the bank's rate when that one is not usable.
    void setDelay(float value, float hostRateHz);
    // Resp: the response mode, applied to every band at once; levels and filters stay.
    void setResp(float value);
    void applyResponseMode();

    // One block of n frames of `channels` input channels: the analysis signal chosen by Mode,
    // delayed, through every band, then every band's meter fraction. False when a buffer could
    // not grow for a block longer than any before: the block then goes unanalysed (levels and
    // ring stay) and the fractions are those of the unchanged levels.
    bool process(const float* const* inputs, int32_t channels, uint32_t n) noexcept;

    float level(int band) const { return kernel.level(band); }
    float centreHz(int band) const { return kernel.centreFrequency(band); }
    // 0 to 1, the level's place in the meter window at the Volume of the last block.
    float meterFraction(int band) const { return fractions[band]; }
    DetectorView detector(int band) { return kernel.detector(band); }
    BankKernel& bank() { return kernel; }
    const BankKernel& bank() const { return kernel; }

    // State between blocks; inspected by the tests, changed only by the operations above.
    Relaxed<int32_t> delaySamples = 0;        // analysis delay, samples
    uint32_t ringWritePos = 0;                // next write index in delayRing
    Relaxed<float> bankSampleRate = 44100.0f;  // Hz; the rate the bank was last built for
    std::vector<float> analysisBuffer;        // the analysis signal of the current block
    std::vector<float> delayRing;             // the analysis delay's ring buffer

private:
    void updateMeterFractions();

    Relaxed<float> modeValue = 0.0f;
    Relaxed<float> volumeValue = 0.0f;
    Relaxed<float> respValue = 0.0f;
    BankKernel kernel;
    MeterWindow window = meterWindow(0.0f);  // audio thread: the last Volume's levels that need no logarithm
    alignas(64) float fractions[numBands] = {};
};

}  // namespace lumetra
