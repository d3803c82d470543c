#include "engine/MeasurementBank.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/DesignMath.h"
#include "engine/MeasurementLanes.h"

namespace lumetra {

namespace {

// Sections per band: three (sixth order) where the band's upper edge is at most a quarter of
// the rate it runs at; four (eighth order) in the octave above that, at the input rate, where
// the bilinear transform's warping widens the skirts and the extra order keeps them in class 1.
constexpr int kSections = 3, kTopSections = SectionLanes::kSections;
// Half-band decimators: they keep everything a quarter of their output rate and below (the
// bands' pass bands) and take at least 90 dB off what would fold onto it.
constexpr int kDecimatorPairs = 6;
constexpr double kDecimatorBeta = 9.0;
// A band's upper edge, relative to the rate it runs at, lies above kLowestEdge and at or below
// kHighestEdge; the bands of the input rate's top octave lie above kHighestEdge.
constexpr double kHighestEdge = 0.25, kLowestEdge = 0.125;
constexpr double kBandEdge = 1.1220184543019633;  // 10^(1/20): a band's upper edge over its mid-band frequency
constexpr double kMeasurableFraction = 0.45;     // of the rate: the highest mid-band frequency measured


}  // namespace

// A linear-phase half-band decimator (2 in, 1 out), folded: the centre tap, then the pairs of
// equal taps on either side of it.
struct MeasurementBank::HalfBand {
    std::vector<float> pairs;  // pairs[m]: the taps at middle +- (2m + 1)
    int middle = 0;            // index of the centre tap
    std::vector<float> history;
    bool nextIsOdd = false;    // the next input's position is odd (an output follows it)

    HalfBand(int pairCount, double beta) {
        const std::vector<double> taps = designHalfBand(pairCount, beta);
        middle = int(taps.size()) / 2;
        for (int m = 0; m < pairCount; ++m) pairs.push_back(float(taps[size_t(middle + 2 * m + 1)]));
    }
    int span() const { return 2 * middle; }  // past inputs an output reaches back to
    void reserve(int n) { history.reserve(size_t(span() + n)); }

    // Appends the new inputs to the history; the caller reads history[span() + i] as input i.
    float* take(const float* in, int n) {
        if (history.size() < size_t(span())) history.assign(size_t(span()), 0.0f);
        history.resize(size_t(span()));
        history.insert(history.end(), in, in + n);
        return history.data() + span();
    }
    void keepTail() { history.erase(history.begin(), history.end() - span()); }

    // The outputs of n new inputs into out; answers how many.
    int decimate(const float* in, int n, float* out) {
        const float* x = take(in, n);
        int produced = 0;
        for (int i = nextIsOdd ? 0 : 1; i < n; i += 2) {
            const float* centre = x + i - middle;
            // Two sums, so that the additions do not wait for one another.
            float even = 0.5f * centre[0], odd = 0.0f;
            size_t m = 0;
            for (; m + 2 <= pairs.size(); m += 2) {
                even += pairs[m] * (centre[2 * m + 1] + centre[-int(2 * m) - 1]);
                odd += pairs[m + 1] * (centre[2 * m + 3] + centre[-int(2 * m) - 3]);
            }
            if (m < pairs.size()) even += pairs[m] * (centre[2 * m + 1] + centre[-int(2 * m) - 1]);
            out[produced++] = even + odd;
        }
        nextIsOdd = (nextIsOdd + n) % 2 != 0;
        keepTail();
        return produced;
    }
};

// The bands of one rate: one group of four lanes, or at the input rate two (its top octave with
// four sections, the octave below with three and a fourth that passes its input unchanged).
struct MeasurementBank::Stage {
    static constexpr int kMaxGroups = 2;
    SectionLanes lanes;
    double coefficient = 0;  // time weighting per sample of this stage
    double rateHz = 0;
    int groups = 1, sections = kSections;
    int bands[kMaxGroups * kLanes] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int count = 0;
    int64_t samples = 0;  // since the last clearEnergy()
    std::vector<float> input;
    HalfBand* feed = nullptr;  // the decimator that makes its input from the stage above
    ~Stage() { delete feed; }
};

double MeasurementBank::centreHz(int band) { return 1000.0 * std::pow(10.0, double(band - 18) / 10.0); }

MeasurementBank::MeasurementBank(double rateHz, Weighting weighting, double timeConstantSec)
    : inputRateHz(rateHz), weightingDesign(designWeighting(weighting, rateHz)), timed(timeConstantSec > 0) {
    weightingState.assign(12, 0.0f);  // x1, x2, y1, y2 of up to three sections
    bandStage.fill(-1);
    bandLane.fill(-1);
    auto coefficientAt = [&](double rate) {
        return timed ? 1.0 - double(designExp(float(-1.0 / (timeConstantSec * rate)))) : 0.0;
    };
    totalCoefficient = coefficientAt(rateHz);
    setTimeWeighting(totalTable, totalCoefficient);
    // Stage k runs at the input rate / 2^k.
    for (int j = numBands - 1; j >= 0; --j) {
        const double fm = centreHz(j);
        if (fm > kMeasurableFraction * rateHz) continue;
        const double upper = fm * kBandEdge;
        int stage = 0;
        double stageRate = rateHz;
        while (upper <= kLowestEdge * stageRate) {
            ++stage;
            stageRate *= 0.5;
        }
        while (int(stages.size()) <= stage) {
            auto* s = new Stage;
            const int index = int(stages.size());
            s->rateHz = rateHz / double(int64_t{1} << index);
            s->coefficient = coefficientAt(s->rateHz);
            setTimeWeighting(s->lanes, s->coefficient);
            if (index == 0) {
                s->groups = Stage::kMaxGroups;
                s->sections = kTopSections;
                for (int lane = kLanes; lane < 2 * kLanes; ++lane)
                    s->lanes.b0[kTopSections - 1][lane] = 1.0f;  // the lower octave's fourth section: unchanged
            } else {
                s->feed = new HalfBand(kDecimatorPairs, kDecimatorBeta);
            }
            stages.push_back(s);
        }
        Stage& s = *stages[size_t(stage)];
        const bool top = stage == 0 && upper > kHighestEdge * rateHz;
        const int group = stage == 0 && !top ? 1 : 0;
        int lane = 0;
        while (s.bands[group * kLanes + lane] >= 0) ++lane;
        s.bands[group * kLanes + lane] = j;
        ++s.count;
        bandStage[size_t(j)] = stage;
        bandLane[size_t(j)] = group * kLanes + lane;
        const std::vector<Biquad> design =
            designButterworthBandPass(top ? kTopSections : kSections, fm / kBandEdge, upper, fm, stageRate);
        const int at = group * kLanes + lane;
        for (size_t k = 0; k < design.size(); ++k) {
            s.lanes.b0[k][at] = float(design[k].b0);
            s.lanes.b2[k][at] = float(design[k].b2);
            s.lanes.a1[k][at] = float(design[k].a1);
            s.lanes.a2[k][at] = float(design[k].a2);
        }
    }
    if (stages.empty()) stages.push_back(nullptr);  // a rate too low for any band: the total alone
    reserve(4096);
}

MeasurementBank::~MeasurementBank() {
    for (Stage* s : stages) delete s;
}

double MeasurementBank::bandRateHz(int band) const {
    return measurable(band) ? stages[size_t(bandStage[size_t(band)])]->rateHz : 0.0;
}

void MeasurementBank::reserve(int maxBlock) {
    const auto n = size_t(std::max(maxBlock, 1));
    weighted.reserve(n);
    for (size_t k = 0; k < stages.size(); ++k) {
        if (!stages[k]) continue;
        if (k > 0) stages[k]->input.reserve((n >> k) + 1);
        if (stages[k]->feed) stages[k]->feed->reserve(int(k == 1 ? n : (n >> (k - 1)) + 1));
    }
}

void MeasurementBank::clearEnergy() {
    energySum.fill(0.0);
    energyCounts.fill(0);
    for (Stage* s : stages)
        if (s) {
            for (double& e : s->lanes.energy) e = 0.0;
            s->samples = 0;
        }
}

double MeasurementBank::timeWeighted(int entry) const {
    if (entry == kTotal) return totalWeighted;
    if (!measurable(entry)) return 0.0;
    return stages[size_t(bandStage[size_t(entry)])]->lanes.mean[bandLane[size_t(entry)]];
}

void MeasurementBank::capture(int band, std::vector<float>* into) {
    capturedBand = into != nullptr && band >= 0 && band < numBands && measurable(band) ? band : -1;
    captured = capturedBand >= 0 ? into : nullptr;
}

void MeasurementBank::process(const float* input, int n) {
    if (n <= 0) return;
    // The weighting, in float, transposed direct form II; then the total.
    weighted.assign(input, input + n);
    if (!weightingDesign.empty()) {
        // All sections in one pass, direct form I, so that their recursions overlap.
        float b0[3], b1[3], b2[3], a1[3], a2[3], x1[3], x2[3], y1[3], y2[3];
        const size_t sections = std::min<size_t>(weightingDesign.size(), 3);
        for (size_t k = 0; k < 3; ++k) {
            const Biquad d = k < sections ? weightingDesign[k] : Biquad{1.0, 0.0, 0.0, 0.0, 0.0};
            b0[k] = float(d.b0), b1[k] = float(d.b1), b2[k] = float(d.b2), a1[k] = float(d.a1), a2[k] = float(d.a2);
            x1[k] = weightingState[4 * k], x2[k] = weightingState[4 * k + 1];
            y1[k] = weightingState[4 * k + 2], y2[k] = weightingState[4 * k + 3];
        }
        for (float& sample : weighted) {
            float x = sample;
#pragma GCC unroll 3
            for (size_t k = 0; k < 3; ++k) {
                const float partial = b0[k] * x + b1[k] * x1[k] + b2[k] * x2[k] - a2[k] * y2[k];
                const float y = partial - a1[k] * y1[k];
                x2[k] = x1[k];
                x1[k] = x;
                y2[k] = y1[k];
                y1[k] = y;
                x = y;
            }
            sample = x;
        }
        for (size_t k = 0; k < 3; ++k) {
            weightingState[4 * k] = x1[k];
            weightingState[4 * k + 1] = x2[k];
            weightingState[4 * k + 2] = std::fabs(y1[k]) < 1e-30f ? 0.0f : y1[k];
            weightingState[4 * k + 3] = std::fabs(y2[k]) < 1e-30f ? 0.0f : y2[k];
        }
    }
    double sum = 0.0, mean = totalWeighted;
    if (timed) {
        // A run at a time, as the bands do (MeasurementLanes.h): no per-sample chain in double.
        const SectionLanes& table = totalTable;
        for (int start = 0; start < n; start += SectionLanes::kRun) {
            const int length = std::min(n - start, SectionLanes::kRun);
            const float* decay = table.decay + (SectionLanes::kRun - length);
            float runSum = 0.0f, runOther = 0.0f, runWeighted = 0.0f;
            int i = 0;
            for (; i + 2 <= length; i += 2) {
                const float a = weighted[size_t(start + i)], b = weighted[size_t(start + i + 1)];
                runSum += a * a;
                runOther += b * b;
                runWeighted += a * a * decay[i] + b * b * decay[i + 1];
            }
            if (i < length) {
                const float a = weighted[size_t(start + i)];
                runSum += a * a;
                runWeighted += a * a * decay[i];
            }
            sum += double(runSum) + double(runOther);
            mean = table.decayPower[length] * mean + totalCoefficient * double(runWeighted);
        }
    } else {
        double other = 0.0;  // two sums, so that the additions do not wait for one another
        int i = 0;
        for (; i + 2 <= n; i += 2) {
            sum += double(weighted[size_t(i)]) * double(weighted[size_t(i)]);
            other += double(weighted[size_t(i) + 1]) * double(weighted[size_t(i) + 1]);
        }
        if (i < n) sum += double(weighted[size_t(i)]) * double(weighted[size_t(i)]);
        sum += other;
    }
    energySum[kTotal] += sum;
    energyCounts[kTotal] += n;
    totalWeighted = mean;

    // The stages, each fed by its neighbour: the input rate first, then halving.
    if (Stage* base = stages[0]; base && base->count > 0) runStage(*base, weighted.data(), n);
    for (size_t k = 1; k < stages.size(); ++k) {
        Stage& s = *stages[k];
        const float* above = k == 1 ? weighted.data() : stages[k - 1]->input.data();
        const int aboveCount = k == 1 ? n : int(stages[k - 1]->input.size());
        s.input.resize(size_t(aboveCount) / 2 + 1);
        const int made = s.feed->decimate(above, aboveCount, s.input.data());
        s.input.resize(size_t(made));
        if (s.count > 0) runStage(s, s.input.data(), made);
    }
    for (int j = 0; j < numBands; ++j) {
        if (!measurable(j)) continue;
        const Stage& s = *stages[size_t(bandStage[size_t(j)])];
        energySum[size_t(j)] = s.lanes.energy[bandLane[size_t(j)]];
        energyCounts[size_t(j)] = s.samples;
    }
}

void MeasurementBank::runStage(Stage& stage, const float* input, int n) {
    int captureLane = -1;
    for (int lane = 0; lane < stage.groups * kLanes; ++lane)
        if (captured != nullptr && stage.bands[lane] >= 0 && stage.bands[lane] == capturedBand) captureLane = lane;
    float* into = nullptr;
    if (captureLane >= 0) {
        const size_t before = captured->size();
        captured->resize(before + size_t(n));
        into = captured->data() + before;
    }
    filterSectionLanes(stage.lanes, stage.groups * kLanes, stage.sections, input, n, timed, captureLane, into);
    stage.samples += n;
}

}  // namespace lumetra
