#include "engine/MeterValue.h"

#include <emmintrin.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/Log10Lanes.h"

namespace lumetra {

namespace {

struct TwoLanes {
    using D = __m128d;
    using Floats = Float4;  // the low two lanes
    static constexpr int kWidth = 2;
    static __m128 fload(const float* p) { return _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(p))); }
    static void fstore(float* p, __m128 v) { _mm_storel_pi(reinterpret_cast<__m64*>(p), v); }
    static D widen(__m128 v) { return _mm_cvtps_pd(v); }
    static __m128 narrow(D v) { return _mm_cvtpd_ps(v); }
    static bool allPositiveFinite(__m128 v) { return (Float4::positiveFiniteBits(v) & 3) == 3; }
    static bool all(__m128 mask) { return (_mm_movemask_ps(mask) & 3) == 3; }
    static D set(double v) { return _mm_set1_pd(v); }
    static D add(D a, D b) { return _mm_add_pd(a, b); }
    static D sub(D a, D b) { return _mm_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm_mul_pd(a, b); }
    static D div(D a, D b) { return _mm_div_pd(a, b); }
    static D clearLowWord(D a) {
        return _mm_and_pd(a, _mm_castsi128_pd(_mm_set1_epi64x(static_cast<long long>(0xFFFFFFFF00000000ull))));
    }
    static void split(D x, D& k, D& m) {
        const __m128i bits = _mm_castpd_si128(x);
        const __m128i mantissa = _mm_and_si128(bits, _mm_set1_epi64x(0x000FFFFFFFFFFFFFll));
        // mantissa > sqrt(2)'s, compared as doubles of [1, 2) (exact, and SSE2 has no 64-bit compare).
        const __m128d one = _mm_castsi128_pd(_mm_or_si128(mantissa, _mm_set1_epi64x(0x3FF0000000000000ll)));
        const __m128i high = _mm_srli_epi64(_mm_castpd_si128(_mm_cmpgt_pd(one, _mm_set1_pd(std::bit_cast<double>(
                                                                                 0x3FF0000000000000ull | kSqrt2Mantissa)))),
                                            63);
        m = _mm_castsi128_pd(_mm_or_si128(
            mantissa, _mm_slli_epi64(_mm_sub_epi64(_mm_set1_epi64x(0x3FF), high), 52)));
        k = _mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(_mm_set1_epi64x(0x4330000000000000ll),
                                                     _mm_add_epi64(_mm_srli_epi64(bits, 52), high))),
                       _mm_set1_pd(4503599627371519.0));
    }
};

// What the logarithm gives outside the positive finite floats: -inf at 0, NaN below, inf at inf.
float log10Special(float x) {
    if (x == 0.0f) return -std::numeric_limits<float>::infinity();
    if (x > 0.0f) return x;  // +inf
    return std::numeric_limits<float>::quiet_NaN();
}

inline bool positiveFinite(float x) { return x > 0.0f && x <= std::numeric_limits<float>::max(); }

}  // namespace

float meterFractionOfDecibels(float d, float volume) {
    const float t = volume * 40.0f;
    const float top = 40.0f - t;
    const float bottom = -20.0f - t;
    if (!(d > bottom)) return 0.0f;  // at or below the window, or no number at all
    if (d >= top) return 1.0f;
    return (d - bottom) / (top - bottom);
}

float log10Float(float x) {
    return positiveFinite(x) ? static_cast<float>(log10Positive<Scalar>(static_cast<double>(x))) : log10Special(x);
}

int log10FloatsSse2(const float* x, float* out, int n) { return log10FloatsLanes<TwoLanes>(x, out, n); }

int meterFractionsSse2(const float* levels, const MeterWindow& window, float* fractions, int n) {
    return meterFractionsLanes<TwoLanes>(levels, window, fractions, n);
}

// The widest lane path this CPU has does what it can, the narrower ones the rest.
void log10Floats(const float* x, float* out, int n) {
    int i = 0;
    if (__builtin_cpu_supports("avx512f")) i = log10FloatsAvx512(x, out, n);
    if (__builtin_cpu_supports("avx2")) i += log10FloatsAvx2(x + i, out + i, n - i);
    i += log10FloatsSse2(x + i, out + i, n - i);
    for (; i < n; ++i) out[i] = log10Float(x[i]);
}

float meterDecibels(float level) { return log10Float(level + 1e-20f) * 20.0f; }

void meterDecibels(const float* levels, float* decibels, int n) {
    constexpr int kChunk = 64;
    float x[kChunk];
    for (int start = 0; start < n; start += kChunk) {
        const int count = n - start < kChunk ? n - start : kChunk;
        for (int i = 0; i < count; ++i) x[i] = levels[start + i] + 1e-20f;
        log10Floats(x, decibels + start, count);
        for (int i = 0; i < count; ++i) decibels[start + i] *= 20.0f;
    }
}

float meterFraction(float level, float volume) { return meterFractionOfDecibels(meterDecibels(level), volume); }

namespace {

// The largest finite level from 0 up for which `holds` is true, when it holds at 0 and, once
// false, stays false as the level rises; -1 when it does not hold at 0. A bisection over the
// bit patterns, which the non-negative floats share their order with.
template <typename Holds>
float lastLevelWhere(Holds holds, uint32_t hintBits) {
    constexpr uint32_t kLargest = 0x7F7FFFFFu;
    if (!holds(0.0f)) return -1.0f;
    if (holds(std::bit_cast<float>(kLargest))) return std::bit_cast<float>(kLargest);
    uint32_t yes = 0, no = kLargest;  // holds at yes, not at no
    // Near the estimate first: a few steps around it usually bracket the answer.
    for (uint64_t span = 16; span <= (uint64_t{1} << 28) && no - yes > 1; span *= 16) {
        const uint64_t hint = hintBits;
        const auto below = static_cast<uint32_t>(hint > yes + span ? hint - span : yes);
        const auto above = static_cast<uint32_t>(hint + span < no ? hint + span : no);
        if (below > yes && below < no) (holds(std::bit_cast<float>(below)) ? yes : no) = below;
        if (above > yes && above < no) (holds(std::bit_cast<float>(above)) ? yes : no) = above;
        if (below <= yes && above >= no) break;
    }
    while (no - yes > 1) {
        const uint32_t mid = yes + (no - yes) / 2;
        (holds(std::bit_cast<float>(mid)) ? yes : no) = mid;
    }
    return std::bit_cast<float>(yes);
}

// The bit pattern of a float near 10^(dB / 20), or 0 when there is no such float.
uint32_t levelBitsNear(float decibels) {
    const double level = std::pow(10.0, static_cast<double>(decibels) / 20.0);
    if (!(level > 0.0) || level > std::numeric_limits<float>::max()) return 0;
    return std::bit_cast<uint32_t>(static_cast<float>(level));
}

}  // namespace

MeterWindow meterWindow(float volume) {
    MeterWindow window;
    window.volume = volume;
    const float t = volume * 40.0f;
    window.zeroUpTo = lastLevelWhere([volume](float level) { return meterFraction(level, volume) == 0.0f; },
                                     levelBitsNear(-20.0f - t));
    const float belowOne =
        lastLevelWhere([volume](float level) { return meterFraction(level, volume) < 1.0f; }, levelBitsNear(40.0f - t));
    if (belowOne < 0.0f)
        window.oneFrom = 0.0f;
    else if (belowOne == std::numeric_limits<float>::max())
        window.oneFrom = std::numeric_limits<float>::quiet_NaN();  // no level compares at or above it
    else
        window.oneFrom = std::nextafter(belowOne, std::numeric_limits<float>::infinity());
    return window;
}

void meterFractions(const float* levels, const MeterWindow& window, float* fractions, int n, int maxLanes) {
    int i = 0;
    if (maxLanes >= 8 && __builtin_cpu_supports("avx512f")) i = meterFractionsAvx512(levels, window, fractions, n);
    if (maxLanes >= 4 && __builtin_cpu_supports("avx2"))
        i += meterFractionsAvx2(levels + i, window, fractions + i, n - i);
    if (maxLanes >= 2) i += meterFractionsSse2(levels + i, window, fractions + i, n - i);
    for (; i < n; ++i) fractions[i] = meterFraction(levels[i], window.volume);
}

void meterFractions(const float* levels, float volume, float* fractions, int n, int maxLanes) {
    meterFractions(levels, meterWindow(volume), fractions, n, maxLanes);
}

}  // namespace lumetra
