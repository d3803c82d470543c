// The 8-lane path; this file alone is compiled with -mavx2 (no FMA: products and sums stay
// separate roundings).
#include <immintrin.h>

#include "engine/BankKernelLanes.h"

namespace {
struct Avx2 {
    using Reg = __m256;
    static constexpr int kWidth = 8;
    static Reg load(const float* p) { return _mm256_load_ps(p); }
    static void store(float* p, Reg v) { _mm256_store_ps(p, v); }
    static void storeu(float* p, Reg v) { _mm256_storeu_ps(p, v); }
    static Reg set1(float x) { return _mm256_set1_ps(x); }
    static Reg zero() { return _mm256_setzero_ps(); }
    static Reg add(Reg a, Reg b) { return _mm256_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm256_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm256_mul_ps(a, b); }
};
}  // namespace

void lumetra::filterLanesAvx2(BankLanes& lanes, const float* input, uint32_t n, uint32_t blockLength,
                              float* blockSums, float* lastOutputs) {
    // One group of eight lanes at a time: the histories then stay in registers (there are sixteen)
    // instead of going through memory every sample.
    filterLanes<Avx2, 1>(lanes, input, n, blockLength, blockSums, lastOutputs);
}
