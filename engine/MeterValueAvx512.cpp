// The eight-lane meter logarithm and fractions; this file alone is compiled with -mavx512f (no
// FMA: products and sums stay separately rounded, so every lane gives the scalar path's bits).
// Only AVX-512F instructions on the doubles: bitwise operations go through the integer forms.
#include <immintrin.h>

#include "engine/Log10Lanes.h"

// GCC 12's AVX-512 conversions and shifts start from a deliberately undefined register and warn
// about it where they are inlined; nothing here reads an uninitialised value.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace {

struct Float8 {
    using F = __m256;
    static F set1(float v) { return _mm256_set1_ps(v); }
    static F add(F a, F b) { return _mm256_add_ps(a, b); }
    static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
    static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    static F div(F a, F b) { return _mm256_div_ps(a, b); }
    static F gt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static F ge(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    static F le(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    static F either(F a, F b) { return _mm256_or_ps(a, b); }
    static F select(F mask, F a, F b) { return _mm256_blendv_ps(b, a, mask); }
    static F keep(F mask, F a) { return _mm256_and_ps(mask, a); }
};

struct EightLanes {
    using D = __m512d;
    using Floats = Float8;
    static constexpr int kWidth = 8;
    static __m256 fload(const float* p) { return _mm256_loadu_ps(p); }
    static void fstore(float* p, __m256 v) { _mm256_storeu_ps(p, v); }
    static D widen(__m256 v) { return _mm512_cvtps_pd(v); }
    static __m256 narrow(D v) { return _mm512_cvtpd_ps(v); }
    static bool allPositiveFinite(__m256 v) {
        const __m256 inside = _mm256_and_ps(_mm256_cmp_ps(v, _mm256_setzero_ps(), _CMP_GT_OQ),
                                            _mm256_cmp_ps(v, _mm256_set1_ps(3.40282347e+38f), _CMP_LE_OQ));
        return _mm256_movemask_ps(inside) == 0xFF;
    }
    static bool all(__m256 mask) { return _mm256_movemask_ps(mask) == 0xFF; }

    static D set(double v) { return _mm512_set1_pd(v); }
    static D add(D a, D b) { return _mm512_add_pd(a, b); }
    static D sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm512_mul_pd(a, b); }
    static D div(D a, D b) { return _mm512_div_pd(a, b); }
    static D clearLowWord(D a) {
        return _mm512_castsi512_pd(
            _mm512_and_si512(_mm512_castpd_si512(a), _mm512_set1_epi64(static_cast<long long>(0xFFFFFFFF00000000ull))));
    }
    static void split(D x, D& k, D& m) {
        const __m512i bits = _mm512_castpd_si512(x);
        const __m512i mantissa = _mm512_and_si512(bits, _mm512_set1_epi64(0x000FFFFFFFFFFFFFll));
        const __m512d one = _mm512_castsi512_pd(_mm512_or_si512(mantissa, _mm512_set1_epi64(0x3FF0000000000000ll)));
        const __m512d sqrt2 = _mm512_castsi512_pd(_mm512_set1_epi64(static_cast<long long>(0x3FF0000000000000ull | kSqrt2Mantissa)));
        const __m512i high = _mm512_maskz_mov_epi64(_mm512_cmp_pd_mask(one, sqrt2, _CMP_GT_OQ), _mm512_set1_epi64(1));
        m = _mm512_castsi512_pd(
            _mm512_or_si512(mantissa, _mm512_slli_epi64(_mm512_sub_epi64(_mm512_set1_epi64(0x3FF), high), 52)));
        k = _mm512_sub_pd(_mm512_castsi512_pd(_mm512_or_si512(_mm512_set1_epi64(0x4330000000000000ll),
                                                              _mm512_add_epi64(_mm512_srli_epi64(bits, 52), high))),
                          _mm512_set1_pd(4503599627371519.0));
    }
};

}  // namespace

int lumetra::log10FloatsAvx512(const float* x, float* out, int n) { return log10FloatsLanes<EightLanes>(x, out, n); }

int lumetra::meterFractionsAvx512(const float* levels, const MeterWindow& window, float* fractions, int n) {
    return meterFractionsLanes<EightLanes>(levels, window, fractions, n);
}
