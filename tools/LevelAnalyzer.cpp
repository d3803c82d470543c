#include "tools/LevelAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/MeasurementBank.h"
#include "tools/AnalyzeOptions.h"

namespace lumetra {

namespace {

constexpr double kTickSec = 0.01;          // statistics sample the levels every 10 ms
constexpr double kSettleSec = 0.5;         // left out of the statistics (slow: kSlowSettleSec)
constexpr double kSlowSettleSec = 5.0;
constexpr double kFastSec = 0.125, kSlowSec = 1.0;
constexpr int kBinsPerDb = 100;
constexpr double kLowestDb = -200.0, kHighestDb = 250.0;
constexpr int kBins = int((kHighestDb - kLowestDb) * kBinsPerDb);
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

}  // namespace

LevelAnalyzer::LevelAnalyzer(double rateHz, const AnalyzeOptions& options)
    : rateHz(rateHz), offsetDb(options.offsetDb), volume(options.volumeValue()), mode(options.mode),
      leqRows(options.timeWeighting == 'L'),
      bank(std::make_unique<MeasurementBank>(rateHz, options.weighting,
                                             options.timeWeighting == 'F'   ? kFastSec
                                             : options.timeWeighting == 'S' ? kSlowSec
                                                                            : 0.0)),
      histogram(size_t(kLevelEntries) * kBins, 0u) {
    tickFrames = tickLeft = std::max<int64_t>(1, std::llround(kTickSec * rateHz));
    skipFrames = std::llround((options.timeWeighting == 'S' ? kSlowSettleSec : kSettleSec) * rateHz);
    maxDb.fill(-std::numeric_limits<float>::infinity());
    minDb.fill(std::numeric_limits<float>::infinity());
    levels.fill(kNaN);
    reserve(4096);
}

LevelAnalyzer::~LevelAnalyzer() = default;

void LevelAnalyzer::reserve(int maxBlock) {
    signal.reserve(size_t(std::max(maxBlock, 1)));
    bank->reserve(maxBlock);
}

bool LevelAnalyzer::measurable(int entry) const { return entry == kTotalEntry || bank->measurable(entry); }
float LevelAnalyzer::centreHz(int band) const { return float(MeasurementBank::centreHz(band)); }

float LevelAnalyzer::toDb(double meanSquare) const {
    return float(10.0 * std::log10(meanSquare + 1e-40) + offsetDb);
}

void LevelAnalyzer::process(const float* left, const float* right, int n) noexcept {
    if (n <= 0) return;
    // The analysis signal as the plug-in forms it: left, left + right (not halved), or right. A
    // sample that is not a number (a live input can deliver one) counts as silence instead of
    // leaving every filter it reaches NaN for the rest of the run.
    signal.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
        const float x = mode == 'L' ? left[i] : mode == 'R' ? right[i] : right[i] + left[i];
        signal[size_t(i)] = std::isfinite(x) ? x : 0.0f;
    }
    std::array<double, kLevelEntries> startEnergy;
    std::array<int64_t, kLevelEntries> startCount;
    for (int e = 0; e < kLevelEntries; ++e) {
        startEnergy[size_t(e)] = bank->energy(e);
        startCount[size_t(e)] = bank->energyCount(e);
    }
    for (int done = 0; done < n;) {
        const int piece = int(std::min<int64_t>(tickLeft, n - done));
        bank->process(signal.data() + done, piece);
        done += piece;
        framesDone += piece;
        tickLeft -= piece;
        if (tickLeft == 0) {
            endTick();
            tickLeft = tickFrames;
        }
    }
    for (int e = 0; e < kLevelEntries; ++e) {
        if (!measurable(e)) continue;
        if (leqRows) {
            const int64_t count = bank->energyCount(e) - startCount[size_t(e)];
            if (count > 0) levels[size_t(e)] = (bank->energy(e) - startEnergy[size_t(e)]) / double(count);
        } else {
            levels[size_t(e)] = bank->timeWeighted(e);
        }
    }
}

void LevelAnalyzer::endTick() noexcept {
    const bool counted = framesDone > skipFrames;
    for (int e = 0; e < kLevelEntries; ++e) {
        if (!measurable(e)) continue;
        const double energy = bank->energy(e) - tickEnergy[size_t(e)];
        const int64_t count = bank->energyCount(e) - tickCount[size_t(e)];
        tickEnergy[size_t(e)] = bank->energy(e);
        tickCount[size_t(e)] = bank->energyCount(e);
        if (!counted) continue;
        double meanSquare;
        if (leqRows) {
            if (count <= 0) continue;  // a band running slower than the ticks: none in this one
            meanSquare = energy / double(count);
        } else {
            meanSquare = bank->timeWeighted(e);
        }
        // In float: a hundred times a second for every entry, and the bins are 0.01 dB wide.
        const float db = (meanSquare < 1e-38 ? -400.0f : 10.0f * std::log10(float(meanSquare))) + float(offsetDb);
        maxDb[size_t(e)] = std::max(maxDb[size_t(e)], db);
        minDb[size_t(e)] = std::min(minDb[size_t(e)], db);
        const double place = std::floor((double(db) - kLowestDb) * kBinsPerDb);
        const int bin = place >= 0.0 ? int(std::min(place, double(kBins - 1))) : 0;  // NaN and below: the lowest
        ++histogram[size_t(e) * kBins + size_t(bin)];
        ++samples[size_t(e)];
    }
}

float LevelAnalyzer::levelDb(int entry) const {
    return measurable(entry) && !std::isnan(levels[size_t(entry)]) ? toDb(levels[size_t(entry)]) : kNaN;
}

float LevelAnalyzer::meterFraction(int entry) const {
    if (!measurable(entry)) return 0.0f;
    const float d = levelDb(entry) - float(offsetDb);
    const float t = volume * 40.0f, top = 40.0f - t, bottom = -20.0f - t;
    if (!(d > bottom)) return 0.0f;
    return d >= top ? 1.0f : (d - bottom) / (top - bottom);
}

float LevelAnalyzer::leqDb(int entry) const {
    if (!measurable(entry) || bank->energyCount(entry) == 0) return kNaN;
    return toDb(bank->energy(entry) / double(bank->energyCount(entry)));
}

void LevelAnalyzer::takeIntervalLeq(float* leq) {
    for (int e = 0; e < kLevelEntries; ++e) {
        const int64_t count = bank->energyCount(e) - intervalCount[size_t(e)];
        leq[e] = measurable(e) && count > 0 ? toDb((bank->energy(e) - intervalEnergy[size_t(e)]) / double(count)) : kNaN;
        intervalEnergy[size_t(e)] = bank->energy(e);
        intervalCount[size_t(e)] = bank->energyCount(e);
    }
}

LevelStatistics LevelAnalyzer::statistics(int entry) const {
    LevelStatistics s{kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
    if (!measurable(entry)) return s;
    s.leq = leqDb(entry);
    const int64_t n = samples[size_t(entry)];
    if (n == 0) return s;
    s.lmax = maxDb[size_t(entry)];
    s.lmin = minDb[size_t(entry)];
    // Ln: the level exceeded n % of the time, the centre of the bin where the count from the
    // top first reaches n % of the samples.
    const uint32_t* bins = histogram.data() + size_t(entry) * kBins;
    float* const targets[3] = {&s.l10, &s.l50, &s.l90};
    const double shares[3] = {0.10, 0.50, 0.90};
    int64_t above = 0;
    int next = 0;
    for (int bin = kBins - 1; bin >= 0 && next < 3; --bin) {
        above += bins[bin];
        while (next < 3 && double(above) >= shares[next] * double(n)) {
            *targets[next] = float(kLowestDb + (bin + 0.5) / kBinsPerDb);
            ++next;
        }
    }
    return s;
}

}  // namespace lumetra
