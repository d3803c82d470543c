#include "engine/MeasurementBank.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/DesignMath.h"

namespace lumetra {

namespace {

// Four bands side by side; GCC's vector extension, compiled to SSE2 (any x86-64), every lane
// rounded as its scalar operation would be.
typedef float Lanes __attribute__((vector_size(16)));
typedef double WideLanes __attribute__((vector_size(32)));
typedef int32_t MaskLanes __attribute__((vector_size(16)));

constexpr int kSectionsPerBand = 3;
// Half-band filters: the decimators keep everything a quarter of their output rate and below
// (the bands' pass bands) and take at least 90 dB off what would fold onto it; the interpolator
// keeps up to 0.47 of the input rate within 0.1 dB and takes 60 dB off the images from 0.55 on.
constexpr int kDecimatorPairs = 6;
constexpr double kDecimatorBeta = 9.0;
constexpr int kInterpolatorPairs = 20;
constexpr double kInterpolatorBeta = 6.0;
// A band's upper edge, relative to the rate it runs at, lies above kLowestEdge and at or below
// kHighestEdge.
constexpr double kHighestEdge = 0.25, kLowestEdge = 0.125;
constexpr double kBandEdge = 1.1220184543019633;  // 10^(1/20): a band's upper edge over its mid-band frequency
constexpr double kMeasurableFraction = 0.45;     // of the rate: the highest mid-band frequency measured

Lanes splat(float x) { return Lanes{x, x, x, x}; }

}  // namespace

// A linear-phase half-band filter as decimator (2 in, 1 out) or interpolator (1 in, 2 out),
// folded: the centre tap, then the pairs of equal taps on either side of it.
struct MeasurementBank::HalfBand {
    std::vector<float> pairs;  // pairs[m]: the taps at middle +- (2m + 1)
    int middle = 0;            // index of the centre tap
    std::vector<float> history;
    bool nextIsOdd = false;    // decimator: the next input's position is odd (an output follows it)

    HalfBand(int pairCount, double beta) {
        const std::vector<double> taps = designHalfBand(pairCount, beta);
        middle = int(taps.size()) / 2;
        for (int m = 0; m < pairCount; ++m) pairs.push_back(float(taps[size_t(middle + 2 * m + 1)]));
    }
    int span() const { return 2 * middle; }  // past inputs a decimator output reaches back to
    void reserve(int n) { history.reserve(size_t(span() + n)); }

    // Appends the new inputs to the history; the caller reads history[span() + i] as input i.
    float* take(const float* in, int n) {
        if (history.size() < size_t(span())) history.assign(size_t(span()), 0.0f);
        history.resize(size_t(span()));
        history.insert(history.end(), in, in + n);
        return history.data() + span();
    }
    void keepTail() { history.erase(history.begin(), history.end() - span()); }

    // Decimator: the outputs of n new inputs into out; answers how many.
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

    // Interpolator: 2n outputs into out. The input zero-stuffed to twice the rate and filtered
    // with twice the taps: the odd outputs are the centre tap's delayed input, the even ones the
    // pairs' sums.
    void interpolate(const float* in, int n, float* out) {
        const float* x = take(in, n);
        const int half = middle / 2;  // (middle - 1) / 2: middle is odd
        const auto taps = int(pairs.size());
        int i = 0;
        // Four outputs at a time, one per lane: four independent sums instead of one long chain.
        for (; i + 4 <= n; i += 4) {
            Lanes sums[4] = {};  // and four sums over the taps, for the same reason
            for (int m = 0; m < taps; ++m) {
                Lanes near, far;
                std::memcpy(&near, x + i - half + m, sizeof near);
                std::memcpy(&far, x + i - half - 1 - m, sizeof far);
                sums[m % 4] += splat(pairs[size_t(m)]) * (near + far);
            }
            const Lanes sum = (sums[0] + sums[1]) + (sums[2] + sums[3]);
            for (int k = 0; k < 4; ++k) {
                out[2 * (i + k)] = 2.0f * sum[k];
                out[2 * (i + k) + 1] = x[i + k - half];
            }
        }
        for (; i < n; ++i) {
            float sum = 0.0f;
            for (int m = 0; m < taps; ++m) sum += pairs[size_t(m)] * (x[i - half + m] + x[i - half - 1 - m]);
            out[2 * i] = 2.0f * sum;
            out[2 * i + 1] = x[i - half];
        }
        keepTail();
    }
};

struct alignas(32) MeasurementBank::Stage {
    Lanes b0[kSectionsPerBand] = {}, a1[kSectionsPerBand] = {}, a2[kSectionsPerBand] = {};  // b1 = 0, b2 = -b0
    Lanes x1[kSectionsPerBand] = {}, x2[kSectionsPerBand] = {};  // direct form I: inputs and
    Lanes y1[kSectionsPerBand] = {}, y2[kSectionsPerBand] = {};  // outputs one and two samples back
    WideLanes energy = {};
    WideLanes weighted = {};
    double coefficient = 0;  // time weighting per sample of this stage
    double rateHz = 0;
    int bands[kLanes] = {-1, -1, -1, -1};
    int count = 0;
    int64_t samples = 0;  // since the last clearEnergy()
    std::vector<float> input;
    HalfBand* feed = nullptr;  // the interpolator or decimator that makes its input
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
    // Stage 0: twice the input rate; stage k >= 1: the input rate / 2^(k - 1).
    for (int j = numBands - 1; j >= 0; --j) {
        const double fm = centreHz(j);
        if (fm > kMeasurableFraction * rateHz) continue;
        const double upper = fm * kBandEdge;
        int stage = 0;
        double stageRate = 2.0 * rateHz;
        if (upper <= kHighestEdge * rateHz) {
            stage = 1;
            stageRate = rateHz;
            while (upper <= kLowestEdge * stageRate) {
                ++stage;
                stageRate *= 0.5;
            }
        }
        while (int(stages.size()) <= stage) {
            auto* s = new Stage;
            const int index = int(stages.size());
            s->rateHz = index == 0 ? 2.0 * rateHz : rateHz / double(int64_t{1} << (index - 1));
            s->coefficient = coefficientAt(s->rateHz);
            if (index == 0) s->feed = new HalfBand(kInterpolatorPairs, kInterpolatorBeta);
            if (index >= 2) s->feed = new HalfBand(kDecimatorPairs, kDecimatorBeta);
            stages.push_back(s);
        }
        Stage& s = *stages[size_t(stage)];
        const int lane = s.count++;
        s.bands[lane] = j;
        bandStage[size_t(j)] = stage;
        bandLane[size_t(j)] = lane;
        const std::vector<Biquad> design = designBandPass(fm / kBandEdge, upper, fm, stageRate);
        for (int k = 0; k < kSectionsPerBand; ++k) {
            s.b0[k][lane] = float(design[size_t(k)].b0);
            s.a1[k][lane] = float(design[size_t(k)].a1);
            s.a2[k][lane] = float(design[size_t(k)].a2);
        }
    }
    if (stages.size() < 2) stages.resize(2, nullptr);  // a rate too low for any band: the total alone
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
        const size_t length = k == 0 ? 2 * n : k == 1 ? n : (n >> (k - 1)) + 1;
        stages[k]->input.reserve(length);
        if (stages[k]->feed) stages[k]->feed->reserve(int(k == 0 ? n : ((n >> (k - 2)) + 1)));
    }
}

void MeasurementBank::clearEnergy() {
    energySum.fill(0.0);
    energyCounts.fill(0);
    for (Stage* s : stages)
        if (s) {
            s->energy = WideLanes{};
            s->samples = 0;
        }
}

double MeasurementBank::timeWeighted(int entry) const {
    if (entry == kTotal) return totalWeighted;
    if (!measurable(entry)) return 0.0;
    return stages[size_t(bandStage[size_t(entry)])]->weighted[bandLane[size_t(entry)]];
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
        const double keep = 1.0 - totalCoefficient;
        for (const float x : weighted) {
            const double square = double(x) * double(x);
            sum += square;
            mean = keep * mean + totalCoefficient * square;
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

    // The stages, each fed by its neighbour: the input rate first, then twice it, then halving.
    Stage* base = stages[1];
    if (base) {
        base->input.assign(weighted.begin(), weighted.end());
        if (base->count > 0) runStage(*base, base->input.data(), n);
    }
    if (Stage* up = stages[0]; up && up->count > 0) {
        up->input.resize(2 * size_t(n));
        up->feed->interpolate(weighted.data(), n, up->input.data());
        runStage(*up, up->input.data(), 2 * n);
    }
    for (size_t k = 2; k < stages.size(); ++k) {
        Stage& s = *stages[k];
        const Stage& above = *stages[k - 1];
        s.input.resize(above.input.size() / 2 + 1);
        const int made = s.feed->decimate(above.input.data(), int(above.input.size()), s.input.data());
        s.input.resize(size_t(made));
        if (s.count > 0) runStage(s, s.input.data(), made);
    }
    for (int j = 0; j < numBands; ++j) {
        if (!measurable(j)) continue;
        const Stage& s = *stages[size_t(bandStage[size_t(j)])];
        energySum[size_t(j)] = s.energy[bandLane[size_t(j)]];
        energyCounts[size_t(j)] = s.samples;
    }
}

namespace {

// One section of every lane, held in registers for a block.
struct SectionRegisters {
    Lanes b0, a1, a2, x1, x2, y1, y2;
    Lanes step(Lanes x) {
        // b0 (x - x2) - a2 y2 first: only its last step waits for the previous output.
        const Lanes partial = b0 * (x - x2) - a2 * y2;
        const Lanes y = partial - a1 * y1;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// The sample loop of one stage. Timed: the time weighting too. Captured: the output of one lane
// into captured[i].
template <bool kTimed, bool kCaptured>
void filterLanes(SectionRegisters (&s)[3], const float* input, int n, WideLanes& energy, WideLanes& mean,
                 const WideLanes& coefficient, int lane, float* captured) {
    SectionRegisters s0 = s[0], s1 = s[1], s2 = s[2];
    WideLanes e = energy, m = mean;
    const WideLanes one = {1.0, 1.0, 1.0, 1.0}, keep = one - coefficient;
    // The squares summed in float over short runs, widened once per run: the sum stays exact to
    // a few parts in a million, and the sample loop keeps to single precision.
    constexpr int kRun = 64;
    for (int start = 0; start < n; start += kRun) {
        const int end = std::min(n, start + kRun);
        Lanes runSum = {};
        for (int i = start; i < end; ++i) {
            const Lanes y = s2.step(s1.step(s0.step(splat(input[i]))));
            const Lanes square = y * y;
            runSum += square;
            if constexpr (kTimed)  // only a product and a sum wait for m
                m = keep * m + coefficient * __builtin_convertvector(square, WideLanes);
            if constexpr (kCaptured) captured[i] = y[lane];
        }
        e += __builtin_convertvector(runSum, WideLanes);
    }
    s[0] = s0;
    s[1] = s1;
    s[2] = s2;
    energy = e;
    mean = m;
}

}  // namespace

void MeasurementBank::runStage(Stage& stage, const float* input, int n) {
    static_assert(kSectionsPerBand == 3);
    SectionRegisters sections[3];
    for (int k = 0; k < kSectionsPerBand; ++k)
        sections[k] = {stage.b0[k], stage.a1[k], stage.a2[k], stage.x1[k], stage.x2[k], stage.y1[k], stage.y2[k]};
    const double c = stage.coefficient;
    const WideLanes coefficient = {c, c, c, c};
    int captureLane = -1;
    for (int lane = 0; lane < stage.count; ++lane)
        if (captured != nullptr && stage.bands[lane] == capturedBand) captureLane = lane;
    if (captureLane >= 0) {
        const size_t before = captured->size();
        captured->resize(before + size_t(n));
        timed ? filterLanes<true, true>(sections, input, n, stage.energy, stage.weighted, coefficient, captureLane,
                                        captured->data() + before)
              : filterLanes<false, true>(sections, input, n, stage.energy, stage.weighted, coefficient, captureLane,
                                         captured->data() + before);
    } else {
        timed ? filterLanes<true, false>(sections, input, n, stage.energy, stage.weighted, coefficient, 0, nullptr)
              : filterLanes<false, false>(sections, input, n, stage.energy, stage.weighted, coefficient, 0, nullptr);
    }
    // Flushed once per block: in silence the histories reach exactly 0 instead of crawling
    // through denormals.
    const Lanes tiny = splat(1e-30f);
    auto flushed = [&](Lanes v) { return (Lanes)((MaskLanes)v & ((v > tiny) | (v < -tiny))); };
    for (int k = 0; k < kSectionsPerBand; ++k) {
        stage.x1[k] = sections[k].x1;
        stage.x2[k] = sections[k].x2;
        stage.y1[k] = flushed(sections[k].y1);
        stage.y2[k] = flushed(sections[k].y2);
    }
    stage.samples += n;
}

}  // namespace lumetra
