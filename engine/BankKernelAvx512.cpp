// The 16-lane path; this file alone is compiled with -mavx512f (no FMA contraction: the build
// keeps -ffp-contract=off and the loop uses separate multiplies and adds).
#include <immintrin.h>

#include "engine/BankKernelLanes.h"

namespace {
struct Avx512 {
    using Reg = __m512;
    static constexpr int kWidth = 16;
    static Reg load(const float* p) { return _mm512_load_ps(p); }
    static void store(float* p, Reg v) { _mm512_store_ps(p, v); }
    static void storeu(float* p, Reg v) { _mm512_storeu_ps(p, v); }
    static Reg set1(float x) { return _mm512_set1_ps(x); }
    static Reg zero() { return _mm512_setzero_ps(); }
    static Reg add(Reg a, Reg b) { return _mm512_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm512_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm512_mul_ps(a, b); }
};
}  // namespace

void lumetra::filterLanesAvx512(BankLanes& lanes, const float* input, uint32_t n, uint32_t blockLength,
                                float* blockSums, float* lastOutputs) {
    filterLanes<Avx512>(lanes, input, n, blockLength, blockSums, lastOutputs);
}
