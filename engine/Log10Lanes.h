// log10 of positive finite doubles and the meter fractions built on it, written once for any lane
// type; included only by the meter-value translation units, each compiled for its own instruction
// set, so everything here has internal linkage (no wider code can leak into a narrower path).
#pragma once

#include <emmintrin.h>

#include <bit>
#include <cstdint>

#include "engine/MeterValue.h"

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

// A lane type V for the loops below adds to the double lanes D the floats of the same lanes, F:
// fload/fstore (kWidth floats, unaligned), widen (F to D, exact), narrow (D to F, rounded once),
// allPositiveFinite, all (every lane of a mask set), and Floats, the float operations (each one
// IEEE operation): set1, add, sub, mul, div, gt, ge and le (false where either side is NaN),
// either (a mask's or), select(mask, a, b) and keep(mask, a) (a where the mask is set, else +0).

// The float operations on four lanes (SSE), for the two- and four-lane types.
struct Float4 {
    using F = __m128;
    static F set1(float v) { return _mm_set1_ps(v); }
    static F add(F a, F b) { return _mm_add_ps(a, b); }
    static F sub(F a, F b) { return _mm_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm_mul_ps(a, b); }
    static F div(F a, F b) { return _mm_div_ps(a, b); }
    static F gt(F a, F b) { return _mm_cmpgt_ps(a, b); }
    static F ge(F a, F b) { return _mm_cmpge_ps(a, b); }
    static F le(F a, F b) { return _mm_cmple_ps(a, b); }
    static F either(F a, F b) { return _mm_or_ps(a, b); }
    static F select(F mask, F a, F b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
    static F keep(F mask, F a) { return _mm_and_ps(mask, a); }
    // Bit i set where lane i lies in (0, largest float].
    static int positiveFiniteBits(F x) {
        return _mm_movemask_ps(_mm_and_ps(_mm_cmpgt_ps(x, _mm_setzero_ps()), _mm_cmple_ps(x, _mm_set1_ps(3.40282347e+38f))));
    }
};

// log10Float on kWidth values at a time; a group with any value outside the positive finite
// floats goes through the scalar path. Answers how many it did: a multiple of kWidth.
template <typename V>
inline int log10FloatsLanes(const float* x, float* out, int n) {
    int i = 0;
    for (; i + V::kWidth <= n; i += V::kWidth) {
        const auto in = V::fload(x + i);
        if (!V::allPositiveFinite(in)) {
            for (int k = i; k < i + V::kWidth; ++k) out[k] = lumetra::log10Float(x[k]);
            continue;
        }
        V::fstore(out + i, V::narrow(log10Positive<V>(V::widen(in))));
    }
    return i;
}

// lumetra::meterFraction on kWidth levels at a time, the same float operations in the same order:
// log10(level + 1e-20) x 20 is d, and the fraction is 0 unless d lies above the window's bottom,
// 1 from its top on, else (d - bottom) / (top - bottom). A group whose levels all lie outside the
// window (lumetra::meterWindow) takes its 0s and 1s without a logarithm. Answers how many it did.
template <typename V>
inline int meterFractionsLanes(const float* levels, const lumetra::MeterWindow& window, float* out, int n) {
    using F = typename V::Floats;
    const float volume = window.volume;
    const float t = volume * 40.0f;
    const float topValue = 40.0f - t;
    const float bottomValue = -20.0f - t;
    const auto top = F::set1(topValue);
    const auto bottom = F::set1(bottomValue);
    const auto range = F::set1(topValue - bottomValue);
    const auto zeroUpTo = F::set1(window.zeroUpTo);
    const auto oneFrom = F::set1(window.oneFrom);
    int i = 0;
    for (; i + V::kWidth <= n; i += V::kWidth) {
        const auto level = V::fload(levels + i);
        const auto one = F::ge(level, oneFrom);
        if (V::all(F::either(F::le(level, zeroUpTo), one))) {
            V::fstore(out + i, F::keep(one, F::set1(1.0f)));
            continue;
        }
        const auto x = F::add(level, F::set1(1e-20f));
        if (!V::allPositiveFinite(x)) {
            for (int k = i; k < i + V::kWidth; ++k) out[k] = lumetra::meterFraction(levels[k], volume);
            continue;
        }
        const auto d = F::mul(V::narrow(log10Positive<V>(V::widen(x))), F::set1(20.0f));
        const auto inside = F::select(F::ge(d, top), F::set1(1.0f), F::div(F::sub(d, bottom), range));
        V::fstore(out + i, F::keep(F::gt(d, bottom), inside));
    }
    return i;
}

}  // namespace
