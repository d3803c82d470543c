// A whole row of band detectors as SIMD lanes, lane = band. The lanes are the row's state between
// calls (section coefficients and histories, levels, times and block coefficients): a call loads
// them into registers, runs the block and stores them back, with no detector objects in between.
// Every lane performs exactly the single-precision operations of FilteredDetector::process in the
// same order, so histories, levels and meter values are bit-identical to the plain path; the
// sections run as a pipeline (section s on sample i - s) so the loop is bound by throughput, not
// by the latency of one recurrence.
// process(): audio thread. setPath(), reserve(), detector(j).setup(): the thread that builds the
// bank. detector(j).setTimes(): any thread (each coefficient is one value written whole).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/FilteredDetector.h"
#include "platform/Relaxed.h"

namespace lumetra {

enum class KernelPath { Plain, Sse2, Avx2, Avx512 };

const char* kernelPathName(KernelPath path);
bool kernelPathSupported(KernelPath path);  // by this CPU
KernelPath bestKernelPath();                // the widest path this CPU has

// Coefficients and histories of the four sections of up to kMaxLanes bands, one array per
// member, lane = band. Aligned for the widest vectors.
constexpr int kSections = 4;
constexpr int kMaxLanes = 32;
constexpr uint32_t kRmsBlockLength = 128;  // samples per RMS block, as every FilteredDetector has
struct alignas(64) SectionLanes {
    float b0[kMaxLanes], b1[kMaxLanes], b2[kMaxLanes], a1[kMaxLanes], a2[kMaxLanes];
    float y1[kMaxLanes], y2[kMaxLanes], x1[kMaxLanes], x2[kMaxLanes];
};
struct alignas(64) BankLanes {
    SectionLanes section[kSections];
};

// The block coefficients of every lane, read once per call (a concurrent setTimes then gives
// either the old or the new value for the whole call, as a detector's own process does).
struct alignas(64) LaneTimes {
    float attack[kMaxLanes], release[kMaxLanes];
};

// One vector width's whole detector row: filters input[0 .. n-1] through all four sections of
// every lane, smooths each lane's level (levels[lane]) with every RMS block of kRmsBlockLength
// samples (the last one shorter) as it ends, and flushes the section outputs at the end. When
// lastOutputs is not null it also receives every last-section output at [sample * kMaxLanes + lane].
// False when some lane's state is no longer finite (the caller restarts those lanes); n = 0 does
// nothing. Defined in one translation unit per instruction set.
using LanesProc = bool (*)(BankLanes& lanes, const float* input, uint32_t n, const LaneTimes& times, float* levels,
                           float* lastOutputs);
bool filterLanesSse2(BankLanes&, const float*, uint32_t, const LaneTimes&, float*, float*);
bool filterLanesAvx2(BankLanes&, const float*, uint32_t, const LaneTimes&, float*, float*);
bool filterLanesAvx512(BankLanes&, const float*, uint32_t, const LaneTimes&, float*, float*);

class BankKernel;

// One band of the row, read and written in its lane: what FilteredDetector offers, for set-up,
// the response modes, resume's reset and inspection. Holds no state of its own.
class DetectorView {
public:
    DetectorView(BankKernel& kernel, int lane) : kernel(&kernel), lane(lane) {}

    // The thread that builds the bank: exactly FilteredDetector::setup on this band.
    void setup(float attack, float release, float rate, float centre, int32_t numSections);
    // Any thread: stores the times and the two block coefficients, each value whole.
    void setTimes(float attack, float release);

    float level() const;
    void setLevel(float value);  // resume's reset; not while processing
    float centreFrequency() const;
    float sampleRate() const;
    float attackTime() const;
    float releaseTime() const;
    float attackBlockCoef() const;
    float releaseBlockCoef() const;
    CFxRbjFilter section(int s) const;

    // The whole band as a detector (allocates; inspection and tests), and back (not while processing).
    FilteredDetector get() const;
    void set(const FilteredDetector& detector);

private:
    BankKernel* kernel;
    int lane;
};

class BankKernel {
public:
    BankKernel();

    KernelPath getPath() const { return path; }
    // Chooses a path; one the CPU lacks falls back to the best it has. Not while processing.
    void setPath(KernelPath newPath);

    // Bands in use, lanes 0 .. bands - 1; the rest stay zero and compute zeros. The thread that
    // builds the bank.
    void setBands(int count);
    int getBands() const { return bands; }
    DetectorView detector(int band) { return DetectorView(*this, band); }
    float level(int band) const { return levels[band]; }
    const float* levelLanes() const { return levels; }  // kMaxLanes values
    float centreFrequency(int band) const { return centres[band]; }

    // The plain path filters in each detector's own work buffer: sizes them for blocks of up to
    // maxBlock samples (allocates; not on the audio thread). The SIMD paths need no scratch, so
    // this does nothing on them.
    void reserve(uint32_t maxBlock);
    // The same for a block longer than any before, on the audio thread: false when the memory
    // cannot be had (nothing changes then). Allocates nothing when the scratch is big enough.
    bool grow(uint32_t maxBlock) noexcept;

    // Processes every band over input[0 .. n-1], exactly as calling each detector's process()
    // in turn would. The SIMD paths allocate nothing, at any n.
    // lastOutputs (tests): [sample * kMaxLanes + band], written only by the SIMD paths.
    void process(const float* input, uint32_t n, float* lastOutputs = nullptr);

private:
    friend class DetectorView;
    void processPlain(const float* input, uint32_t n);
    void flushAndRestart();
    // Any thread, after writing block coefficients: the lane paths read them again.
    void timesChanged() { timesVersion.fetch_add(1, std::memory_order_release); }

    KernelPath path = KernelPath::Plain;
    int bands = 0;
    BankLanes lanes{};
    alignas(64) float levels[kMaxLanes] = {};
    Relaxed<float> attackCoefs[kMaxLanes], releaseCoefs[kMaxLanes];
    Relaxed<float> attackTimes[kMaxLanes], releaseTimes[kMaxLanes];
    std::atomic<uint32_t> timesVersion{0};  // counts coefficient changes
    uint32_t timesSeen = ~0u;                // audio thread: the count `times` was read at
    LaneTimes times{};                       // audio thread: the coefficients the lane paths use
    float rates[kMaxLanes] = {};
    float centres[kMaxLanes] = {};
    std::vector<FilteredDetector> plainRow;  // the plain path's detectors, loaded from the lanes
};

}  // namespace lumetra
