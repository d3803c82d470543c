// The 4-lane path. SSE2 is part of every x86-64 CPU.
#include <emmintrin.h>

#include "engine/BankKernelLanes.h"

namespace {
struct Sse2 {
    using Reg = __m128;
    static constexpr int kWidth = 4;
    static constexpr bool kHoldsCoefficients = true;
    static Reg load(const float* p) { return _mm_load_ps(p); }
    static void store(float* p, Reg v) { _mm_store_ps(p, v); }
    static void storeu(float* p, Reg v) { _mm_storeu_ps(p, v); }
    static Reg set1(float x) { return _mm_set1_ps(x); }
    static Reg zero() { return _mm_setzero_ps(); }
    static Reg add(Reg a, Reg b) { return _mm_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm_sub_ps(a, b); }
    using Mask = __m128;
    static Reg sqrt(Reg a) { return _mm_sqrt_ps(a); }
    static Reg div(Reg a, Reg b) { return _mm_div_ps(a, b); }
    static Mask gt(Reg a, Reg b) { return _mm_cmpgt_ps(a, b); }
    static Mask lt(Reg a, Reg b) { return _mm_cmplt_ps(a, b); }
    static Mask both(Mask a, Mask b) { return _mm_and_ps(a, b); }
    static Reg select(Mask m, Reg a, Reg b) { return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b)); }
    static Reg zeroWhere(Mask m, Reg a) { return _mm_andnot_ps(m, a); }
    static bool anyNaN(Reg a) { return _mm_movemask_ps(_mm_cmpunord_ps(a, a)) != 0; }
    static Reg mul(Reg a, Reg b) { return _mm_mul_ps(a, b); }
};
}  // namespace

bool lumetra::filterLanesSse2(BankLanes& lanes, const float* input, uint32_t n, const LaneTimes& times,
                              float* levels, float* lastOutputs) {
    // One group of four lanes at a time: the histories then stay in registers (there are sixteen)
    // instead of going through memory every sample.
    return filterLanes<Sse2, 1>(lanes, input, n, times, levels, lastOutputs);
}
