// A band level as the editor's meters receive it: a fraction of a 60 dB window that Volume moves,
// packed with the band index into one float for parameter 1. Pure functions; any thread.
#pragma once

#include <cstdint>

namespace lumetra {

// log10(x) correctly rounded to float, as narrowing the double logarithm gives, computed in double
// with no call into the C library: the same float on every system. -inf at 0, NaN below 0 and
// for NaN, inf at inf.
float log10Float(float x);
// The same for n values at once, eight, four or two lanes at a time, bit for bit.
void log10Floats(const float* x, float* out, int n);
// The lane paths log10Floats picks from, each doing a leading multiple of its width and answering
// how many it did: two lanes (any x86-64), four (CPUs with AVX2 only) and eight (AVX-512F only).
int log10FloatsSse2(const float* x, float* out, int n);
int log10FloatsAvx2(const float* x, float* out, int n);
int log10FloatsAvx512(const float* x, float* out, int n);

// log10(level + 1e-20) x 20 in single precision with log10Float: a level of 0 gives -400 dB.
float meterDecibels(float level);
// The same for n levels at once, bit for bit.
void meterDecibels(const float* levels, float* decibels, int n);

// 0 to 1: the level's place in the window from (-20 - 40 x volume) dB to (40 - 40 x volume) dB.
// 0 for a level or volume that gives no number (NaN), so a packed value is never NaN.
float meterFraction(float level, float volume);
// The same from the level's meterDecibels: meterFraction(level, volume) is exactly
// meterFractionOfDecibels(meterDecibels(level), volume), so a level handed on in dB (an LV2 level
// output) gives the meters the same fraction.
float meterFractionOfDecibels(float decibels, float volume);
// The levels that need no logarithm at one Volume: meterFraction is 0 for every level up to
// zeroUpTo and 1 for every level from oneFrom on (it never falls as the level rises); -1 and NaN
// when there are none. Found with meterFraction itself, so they are exact.
struct MeterWindow {
    float volume = 0.0f;
    float zeroUpTo = -1.0f;
    float oneFrom = 0.0f;  // no infinity: past the largest float the logarithm decides
};
MeterWindow meterWindow(float volume);

// meterFraction for n levels at once, bit for bit, on the widest lanes this CPU has up to
// maxLanes (8, 4, 2; 1 is the scalar path alone). A group of levels all outside the window
// takes no logarithm.
void meterFractions(const float* levels, const MeterWindow& window, float* fractions, int n, int maxLanes = 8);
void meterFractions(const float* levels, float volume, float* fractions, int n, int maxLanes = 8);
// Its lane paths, as for the logarithm.
int meterFractionsSse2(const float* levels, const MeterWindow& window, float* fractions, int n);
int meterFractionsAvx2(const float* levels, const MeterWindow& window, float* fractions, int n);
int meterFractionsAvx512(const float* levels, const MeterWindow& window, float* fractions, int n);

// band + fraction x 0.5: the product first, then the sum.
inline float packedMeterValue(int32_t band, float fraction) {
    return fraction * 0.5f + static_cast<float>(band);
}

}  // namespace lumetra
