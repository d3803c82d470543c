// One third-octave band: four band-pass sections, RMS over 128-sample blocks, attack/release
// smoothing. process(): audio thread. setup(), setTimes(): the thread that builds the bank or sets
// Resp; the times and block coefficients are shared with the audio thread value by value.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/CFxRbjFilter.h"
#include "platform/Relaxed.h"

class FilteredDetector {
public:
    FilteredDetector() = default;
    FilteredDetector(const FilteredDetector&) = default;
    FilteredDetector& operator=(const FilteredDetector&) = default;
    virtual ~FilteredDetector() = default;

    void setup(float attack, float release, float rate, float centre, int32_t numSections);
    void setTimes(float attack, float release);
    // Allocates only for a block longer than any before (workBuffer grows). A detector whose
    // histories or level are no longer finite afterwards (a NaN or infinite input, an RMS that
    // overflowed) starts again from silence, so no meter stays stuck.
    void process(const float* input, uint32_t count);
    // The per-block tail of process(): one RMS block's smoothing (the bank kernel performs the
    // same operations on every lane), then the restart of a detector left without a finite state.
    void smoothBlock(float sum, uint32_t m, float attackCoef, float releaseCoef);
    void restartIfNotFinite();

    // Quality factor of each section of a band centred on centreHz at rateHz: about 2.35 for low
    // bands, falling towards the top so the upper bands widen.
    static float sectionQuality(float centreHz, float rateHz);
    // The smoothing coefficient applied once per block of blockLength samples for a time of
    // timeSec (the per-sample time constant is half of it); 1 for a time of 0 or less.
    static float blockCoefficient(float timeSec, float rateHz, uint32_t blockLength);

    std::vector<CFxRbjFilter> sections;          // the cascade; four once setup() has run
    lumetra::Relaxed<float> attackTime = 0.1f;   // seconds
    lumetra::Relaxed<float> releaseTime = 0.2f;  // seconds
    lumetra::Relaxed<float> attackBlockCoef = 0.0f;
    lumetra::Relaxed<float> releaseBlockCoef = 0.0f;
    float level = 0.0f;                // band level: linear RMS on the input's scale, never < 0
    float sampleRate = 44100.0f;       // Hz
    float centreFrequency = 0.0f;      // Hz, the exact centre
    uint32_t blockLength = 128;        // RMS block length in samples
    std::vector<float> workBuffer;     // copy of the input, filtered in place; only grows
};
