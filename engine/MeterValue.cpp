#include "engine/MeterValue.h"

#include <emmintrin.h>

#include <bit>
#include <cstring>
#include <limits>

namespace lumetra {

namespace {

// log10 of a positive finite double, in double, written once for the scalar and the two-lane
// type so both perform the same IEEE operations in the same order (hence the same bits).
// x = 2^k * m with m in [sqrt(2)/2, sqrt(2)), f = m - 1 (exact); log(1 + f) from the minimax
// series in s = f / (2 + f); the sum kept as a high part with its low 32 bits cleared plus a
// low part, so that the products with the split constants stay exact and the final sum is off by
// well under one double ulp. Nothing here calls the C library.
constexpr double kIvln10Hi = 4.34294481878168880939e-01;   // 1 / ln 10, 33 bits
constexpr double kIvln10Lo = 2.50829467116452752298e-11;   // 1 / ln 10 - kIvln10Hi
constexpr double kLog10TwoHi = 3.01029995663611771306e-01;  // log10(2), 36 bits
constexpr double kLog10TwoLo = 3.69423907715893078616e-13;  // log10(2) - kLog10TwoHi
constexpr double kLg1 = 6.666666666666735130e-01, kLg2 = 3.999999999940941908e-01,
                 kLg3 = 2.857142874366239149e-01, kLg4 = 2.222219843214978396e-01,
                 kLg5 = 1.818357216161805012e-01, kLg6 = 1.531383769920937332e-01,
                 kLg7 = 1.479819860511658591e-01;
constexpr uint64_t kSqrt2Mantissa = 0x6A09E667F3BCDull;  // mantissa bits of sqrt(2)

struct Scalar {
    using D = double;
    static D set(double v) { return v; }
    static D add(D a, D b) { return a + b; }
    static D sub(D a, D b) { return a - b; }
    static D mul(D a, D b) { return a * b; }
    static D div(D a, D b) { return a / b; }
    static D clearLowWord(D a) { return std::bit_cast<double>(std::bit_cast<uint64_t>(a) & 0xFFFFFFFF00000000ull); }
    // k (as a double) and m of x = 2^k * m, m in [sqrt(2)/2, sqrt(2)).
    static void split(D x, D& k, D& m) {
        const uint64_t bits = std::bit_cast<uint64_t>(x);
        const uint64_t mantissa = bits & 0x000FFFFFFFFFFFFFull;
        const uint64_t high = mantissa > kSqrt2Mantissa ? 1 : 0;  // m halved, k one up
        m = std::bit_cast<double>(mantissa | ((0x3FFull - high) << 52));
        // The exponent through 2^52 + e: an exact integer-to-double conversion without the
        // conversion instruction the vector type lacks.
        k = std::bit_cast<double>(0x4330000000000000ull | ((bits >> 52) + high)) - 4503599627371519.0;
    }
};

struct TwoLanes {
    using D = __m128d;
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

template <typename V>
inline typename V::D log10Positive(typename V::D x) {
    using D = typename V::D;
    D k, m;
    V::split(x, k, m);
    const D f = V::sub(m, V::set(1.0));
    const D hfsq = V::mul(V::mul(V::set(0.5), f), f);
    const D s = V::div(f, V::add(V::set(2.0), f));
    const D z = V::mul(s, s);
    const D w = V::mul(z, z);
    const D t1 = V::mul(w, V::add(V::set(kLg2), V::mul(w, V::add(V::set(kLg4), V::mul(w, V::set(kLg6))))));
    const D t2 = V::mul(z, V::add(V::set(kLg1),
                                  V::mul(w, V::add(V::set(kLg3), V::mul(w, V::add(V::set(kLg5), V::mul(w, V::set(kLg7))))))));
    const D r = V::add(t2, t1);
    const D hi = V::clearLowWord(V::sub(f, hfsq));
    const D lo = V::add(V::sub(V::sub(f, hi), hfsq), V::mul(s, V::add(hfsq, r)));
    D valHi = V::mul(hi, V::set(kIvln10Hi));
    const D y2 = V::mul(k, V::set(kLog10TwoHi));
    D valLo = V::add(V::add(V::mul(k, V::set(kLog10TwoLo)), V::mul(V::add(lo, hi), V::set(kIvln10Lo))),
                     V::mul(lo, V::set(kIvln10Hi)));
    const D sum = V::add(y2, valHi);
    valLo = V::add(valLo, V::add(V::sub(y2, sum), valHi));
    valHi = sum;
    return V::add(valLo, valHi);
}

// What the logarithm gives outside the positive finite floats: -inf at 0, NaN below, inf at inf.
float log10Special(float x) {
    if (x == 0.0f) return -std::numeric_limits<float>::infinity();
    if (x > 0.0f) return x;  // +inf
    return std::numeric_limits<float>::quiet_NaN();
}

inline bool positiveFinite(float x) { return x > 0.0f && x <= std::numeric_limits<float>::max(); }

float fractionOf(float d, float volume) {
    const float t = volume * 40.0f;
    const float top = 40.0f - t;
    const float bottom = -20.0f - t;
    if (!(d > bottom)) return 0.0f;  // at or below the window, or no number at all
    if (d >= top) return 1.0f;
    return (d - bottom) / (top - bottom);
}

}  // namespace

float log10Float(float x) {
    return positiveFinite(x) ? static_cast<float>(log10Positive<Scalar>(static_cast<double>(x))) : log10Special(x);
}

void log10Floats(const float* x, float* out, int n) {
    int i = 0;
    for (; i + 2 <= n; i += 2) {
        if (!positiveFinite(x[i]) || !positiveFinite(x[i + 1])) {
            out[i] = log10Float(x[i]);
            out[i + 1] = log10Float(x[i + 1]);
            continue;
        }
        const __m128d in = _mm_cvtps_pd(_mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(x + i))));
        _mm_storel_pi(reinterpret_cast<__m64*>(out + i), _mm_cvtpd_ps(log10Positive<TwoLanes>(in)));
    }
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

float meterFraction(float level, float volume) { return fractionOf(meterDecibels(level), volume); }

void meterFractions(const float* levels, float volume, float* fractions, int n) {
    float decibels[64];
    for (int start = 0; start < n; start += 64) {
        const int count = n - start < 64 ? n - start : 64;
        meterDecibels(levels + start, decibels, count);
        for (int i = 0; i < count; ++i) fractions[start + i] = fractionOf(decibels[i], volume);
    }
}

}  // namespace lumetra
