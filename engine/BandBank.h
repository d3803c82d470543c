// The band bank's fixed numbers: the one-third-octave centres, the sample rates it can be built
// for, and the analysis delay in samples. Pure functions; any thread.
#pragma once

#include <cstdint>

namespace lumetra {

// Rates outside this range (0, negative, NaN, infinite, absurd) leave the bank as it was built.
constexpr float kMinSampleRateHz = 1000.0f;
constexpr float kMaxSampleRateHz = 768000.0f;
bool isUsableSampleRate(float rateHz);

// Centre of band j: 10^((j + 12) / 10) Hz in single precision, 15.85 Hz for band 0.
float bandCentreHz(int32_t band);

// The analysis delay for a Delay value at rateHz: rate x (value x 0.3) truncated toward zero.
// A value outside 0..1 (NaN included) counts as the nearest end; a rate that is not usable
// gives fallbackRateHz's delay. Always 0 to 0.3 s, so the conversion is always defined.
int32_t delaySamplesFor(float delayValue, float rateHz, float fallbackRateHz);

}  // namespace lumetra
