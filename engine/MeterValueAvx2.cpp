// The four-lane meter logarithm; this file alone is compiled with -mavx2 (no FMA: products and
// sums stay separately rounded, so every lane gives the scalar path's bits).
#include <immintrin.h>

#include "engine/Log10Lanes.h"
#include "engine/MeterValue.h"

namespace {

struct FourLanes {
    using D = __m256d;
    using Floats = Float4;
    static constexpr int kWidth = 4;
    static __m128 fload(const float* p) { return _mm_loadu_ps(p); }
    static void fstore(float* p, __m128 v) { _mm_storeu_ps(p, v); }
    static D widen(__m128 v) { return _mm256_cvtps_pd(v); }
    static __m128 narrow(D v) { return _mm256_cvtpd_ps(v); }
    static bool allPositiveFinite(__m128 v) { return Float4::positiveFiniteBits(v) == 0xF; }
    static bool all(__m128 mask) { return _mm_movemask_ps(mask) == 0xF; }
    static D set(double v) { return _mm256_set1_pd(v); }
    static D add(D a, D b) { return _mm256_add_pd(a, b); }
    static D sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D mul(D a, D b) { return _mm256_mul_pd(a, b); }
    static D div(D a, D b) { return _mm256_div_pd(a, b); }
    static D clearLowWord(D a) {
        return _mm256_and_pd(a, _mm256_castsi256_pd(_mm256_set1_epi64x(static_cast<long long>(0xFFFFFFFF00000000ull))));
    }
    static void split(D x, D& k, D& m) {
        const __m256i bits = _mm256_castpd_si256(x);
        const __m256i mantissa = _mm256_and_si256(bits, _mm256_set1_epi64x(0x000FFFFFFFFFFFFFll));
        const __m256d one = _mm256_castsi256_pd(_mm256_or_si256(mantissa, _mm256_set1_epi64x(0x3FF0000000000000ll)));
        const __m256d sqrt2 = _mm256_castsi256_pd(_mm256_set1_epi64x(static_cast<long long>(0x3FF0000000000000ull | kSqrt2Mantissa)));
        const __m256i high = _mm256_srli_epi64(_mm256_castpd_si256(_mm256_cmp_pd(one, sqrt2, _CMP_GT_OQ)), 63);
        m = _mm256_castsi256_pd(
            _mm256_or_si256(mantissa, _mm256_slli_epi64(_mm256_sub_epi64(_mm256_set1_epi64x(0x3FF), high), 52)));
        k = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(_mm256_set1_epi64x(0x4330000000000000ll),
                                                              _mm256_add_epi64(_mm256_srli_epi64(bits, 52), high))),
                          _mm256_set1_pd(4503599627371519.0));
    }
};

}  // namespace

int lumetra::log10FloatsAvx2(const float* x, float* out, int n) { return log10FloatsLanes<FourLanes>(x, out, n); }

int lumetra::meterFractionsAvx2(const float* levels, const MeterWindow& window, float* fractions, int n) {
    return meterFractionsLanes<FourLanes>(levels, window, fractions, n);
}
