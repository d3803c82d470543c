// Runs a whole row of band detectors over one block at once, the bands as SIMD lanes. Every lane
// performs exactly the single-precision operations of FilteredDetector::process in the same
// order, so histories, levels and meter values are bit-identical to the plain path; the sections
// run as a pipeline (section s on sample i - s) so the loop is bound by throughput, not by the
// latency of one recurrence.
// process(): audio thread. setPath(), reserve(): the thread that builds the bank.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/FilteredDetector.h"

namespace lumetra {

enum class KernelPath { Plain, Sse2, Avx2, Avx512 };

const char* kernelPathName(KernelPath path);
bool kernelPathSupported(KernelPath path);  // by this CPU
KernelPath bestKernelPath();                // the widest path this CPU has

// Coefficients and histories of the four sections of up to kMaxLanes bands, one array per
// member, lane = band. Aligned for the widest vectors.
constexpr int kSections = 4;
constexpr int kMaxLanes = 32;
struct alignas(64) SectionLanes {
    float b0[kMaxLanes], b1[kMaxLanes], b2[kMaxLanes], a1[kMaxLanes], a2[kMaxLanes];
    float y1[kMaxLanes], y2[kMaxLanes], x1[kMaxLanes], x2[kMaxLanes];
};
struct alignas(64) BankLanes {
    SectionLanes section[kSections];
};

// One vector width's pipeline: filters input[0 .. n-1] through all four sections of every lane
// and writes, for each RMS block of blockLength samples (the last one shorter), the sum of the
// squared last-section outputs of every lane to blockSums[block * kMaxLanes + lane]. When
// lastOutputs is not null it also receives every last-section output at [sample * kMaxLanes + lane].
// Histories are left unflushed. Defined in one translation unit per instruction set.
using LanesProc = void (*)(BankLanes& lanes, const float* input, uint32_t n, uint32_t blockLength,
                           float* blockSums, float* lastOutputs);
void filterLanesSse2(BankLanes&, const float*, uint32_t, uint32_t, float*, float*);
void filterLanesAvx2(BankLanes&, const float*, uint32_t, uint32_t, float*, float*);
void filterLanesAvx512(BankLanes&, const float*, uint32_t, uint32_t, float*, float*);

class BankKernel {
public:
    BankKernel();

    KernelPath getPath() const { return path; }
    // Chooses a path; one the CPU lacks falls back to the best it has. Not while processing.
    void setPath(KernelPath newPath);
    // Sizes the scratch for blocks of up to maxBlock samples (allocates; not on the audio thread).
    void reserve(uint32_t maxBlock);
    // The same for a block longer than any before, on the audio thread: false when the memory
    // cannot be had (nothing changes then). Allocates nothing when the scratch is big enough.
    bool grow(uint32_t maxBlock) noexcept;

    // Processes every detector of the row over input[0 .. n-1], exactly as calling each
    // detector's process() in turn would. Allocates nothing: a block longer than the scratch
    // takes the plain path.
    // lastOutputs (tests): [sample * kMaxLanes + band], written only by the SIMD paths.
    void process(std::vector<FilteredDetector>& row, const float* input, uint32_t n,
                 float* lastOutputs = nullptr);

private:
    bool fitsLanes(const std::vector<FilteredDetector>& row) const;

    KernelPath path = KernelPath::Plain;
    BankLanes lanes;
    std::vector<float> blockSums;  // [block][lane]; only grows
};

}  // namespace lumetra
