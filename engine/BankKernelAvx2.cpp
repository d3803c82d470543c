// The 8-lane path; this file alone is compiled with -mavx2 (no FMA: products and sums stay
// separate roundings).
#include <immintrin.h>

#include "engine/BankKernelLanes.h"

namespace {
struct Avx2 {
    using Reg = __m256;
    static constexpr int kWidth = 8;
    static constexpr bool kHoldsCoefficients = true;
    static Reg load(const float* p) { return _mm256_load_ps(p); }
    static void store(float* p, Reg v) { _mm256_store_ps(p, v); }
    static void storeu(float* p, Reg v) { _mm256_storeu_ps(p, v); }
    static Reg set1(float x) { return _mm256_set1_ps(x); }
    static Reg zero() { return _mm256_setzero_ps(); }
    static Reg add(Reg a, Reg b) { return _mm256_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm256_sub_ps(a, b); }
    using Mask = __m256;
    static Reg sqrt(Reg a) { return _mm256_sqrt_ps(a); }
    static Reg div(Reg a, Reg b) { return _mm256_div_ps(a, b); }
    static Mask gt(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static Mask lt(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static Mask both(Mask a, Mask b) { return _mm256_and_ps(a, b); }
    static Reg select(Mask m, Reg a, Reg b) { return _mm256_blendv_ps(b, a, m); }
    static Reg zeroWhere(Mask m, Reg a) { return _mm256_andnot_ps(m, a); }
    static bool anyNaN(Reg a) { return _mm256_movemask_ps(_mm256_cmp_ps(a, a, _CMP_UNORD_Q)) != 0; }
    static Reg mul(Reg a, Reg b) { return _mm256_mul_ps(a, b); }
};
}  // namespace

bool lumetra::filterLanesAvx2(BankLanes& lanes, const float* input, uint32_t n, const LaneTimes& times,
                              float* levels, float* lastOutputs) {
    // One group of eight lanes at a time: the histories then stay in registers (there are sixteen)
    // instead of going through memory every sample.
    return filterLanes<Avx2, 1>(lanes, input, n, times, levels, lastOutputs);
}
