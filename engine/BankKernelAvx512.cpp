// The 16-lane path; this file alone is compiled with -mavx512f (no FMA contraction: the build
// keeps -ffp-contract=off and the loop uses separate multiplies and adds).
#include <immintrin.h>

#include "engine/BankKernelLanes.h"

// GCC 12's AVX-512 square root starts from a deliberately undefined register and warns about it
// where it is inlined; nothing here reads an uninitialised value.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace {
struct Avx512 {
    using Reg = __m512;
    static constexpr int kWidth = 16;
    // One group of 16 lanes per pass: its histories and sums fill half of the 32 registers, the
    // coefficients come from memory; two groups at once would spill.
    static constexpr bool kHoldsCoefficients = false;
    static Reg load(const float* p) { return _mm512_load_ps(p); }
    static void store(float* p, Reg v) { _mm512_store_ps(p, v); }
    static void storeu(float* p, Reg v) { _mm512_storeu_ps(p, v); }
    static Reg set1(float x) { return _mm512_set1_ps(x); }
    static Reg zero() { return _mm512_setzero_ps(); }
    static Reg add(Reg a, Reg b) { return _mm512_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm512_sub_ps(a, b); }
    using Mask = __mmask16;
    static Reg sqrt(Reg a) { return _mm512_sqrt_ps(a); }
    static Reg div(Reg a, Reg b) { return _mm512_div_ps(a, b); }
    static Mask gt(Reg a, Reg b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
    static Mask lt(Reg a, Reg b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    static Mask both(Mask a, Mask b) { return static_cast<Mask>(a & b); }
    static Reg select(Mask m, Reg a, Reg b) { return _mm512_mask_blend_ps(m, b, a); }
    static Reg zeroWhere(Mask m, Reg a) { return _mm512_maskz_mov_ps(static_cast<Mask>(~m), a); }
    static bool anyNaN(Reg a) { return _mm512_cmp_ps_mask(a, a, _CMP_UNORD_Q) != 0; }
    static Reg mul(Reg a, Reg b) { return _mm512_mul_ps(a, b); }
};
}  // namespace

bool lumetra::filterLanesAvx512(BankLanes& lanes, const float* input, uint32_t n, const LaneTimes& times,
                                float* levels, float* lastOutputs) {
    return filterLanes<Avx512, 1>(lanes, input, n, times, levels, lastOutputs);
}
