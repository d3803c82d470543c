// The standard bank as `lumetra analyze` and `lumetra listen` run it: the analysis signal the
// --mode picks (as the plug-in forms it), the 32 bands and the broadband total with their
// weighting and time weighting, in dB re full scale plus the calibration offset, and the
// statistics over everything fed so far: Leq, Lmax, Lmin, L10, L50, L90.
// process() allocates nothing for blocks up to reserve()'s length (listen's audio thread); the
// rest: the thread that feeds it, or another once that one has stopped.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "tools/AnalyzeBands.h"

namespace lumetra {

struct AnalyzeOptions;
class MeasurementBank;

constexpr int kLevelEntries = kNumBands + 1;  // the bands, then the broadband total
constexpr int kTotalEntry = kNumBands;

// The statistics of one entry, dB (NaN where there is nothing to say).
struct LevelStatistics {
    float leq = 0, lmax = 0, lmin = 0, l10 = 0, l50 = 0, l90 = 0;
};

class LevelAnalyzer {
public:
    LevelAnalyzer(double rateHz, const AnalyzeOptions& options);
    ~LevelAnalyzer();
    LevelAnalyzer(const LevelAnalyzer&) = delete;
    LevelAnalyzer& operator=(const LevelAnalyzer&) = delete;

    void reserve(int maxBlock);
    // One block of n >= 0 stereo frames.
    void process(const float* left, const float* right, int n) noexcept;

    bool measurable(int entry) const;
    float centreHz(int band) const;
    // After process(): each entry's level, dB: time-weighted (F, S) at the block's end, or the
    // energy mean of the block (leq). NaN for a band that is not measured.
    float levelDb(int entry) const;
    // The meter fraction 0..1 of the level in the live display's window (--gain), as the plug-in
    // places its levels (before the calibration offset).
    float meterFraction(int entry) const;
    // The energy means since the start and since the last call of takeIntervalLeq(), dB.
    float leqDb(int entry) const;
    void takeIntervalLeq(float* leqDb);
    LevelStatistics statistics(int entry) const;
    double seconds() const { return double(framesDone) / rateHz; }

private:
    void endTick() noexcept;
    float toDb(double meanSquare) const;

    double rateHz;
    double offsetDb;
    float volume;
    char mode;
    bool leqRows;
    std::unique_ptr<MeasurementBank> bank;
    std::vector<float> signal;
    std::array<double, kLevelEntries> levels{};  // mean squares, NaN before the first block
    std::array<double, kLevelEntries> tickEnergy{}, intervalEnergy{};  // the bank's sums at the last tick, interval
    std::array<int64_t, kLevelEntries> tickCount{}, intervalCount{};
    int64_t framesDone = 0;
    int64_t tickFrames = 1, tickLeft = 1;
    int64_t skipFrames = 0;  // the settling left out of the statistics
    // Per entry: the 10 ms samples' extremes and their histogram, kBinsPerDb bins per dB.
    std::array<float, kLevelEntries> maxDb{}, minDb{};
    std::vector<uint32_t> histogram;
    std::array<int64_t, kLevelEntries> samples{};
};

}  // namespace lumetra
