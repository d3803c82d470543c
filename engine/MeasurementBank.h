// The measurement bank of the tool: the 32 one-third-octave bands at base-10 mid-band frequencies
// (band j at 1000 x 10^((j - 18) / 10) Hz, 16 Hz to 20 kHz nominal), each a sixth-order
// Butterworth band-pass, after an A, C or Z frequency weighting, with a broadband total of the
// weighted signal. Separate from the plug-in's bank, whose numbers it never touches.
//
// Each band runs at the lowest rate that keeps its upper edge at or below a quarter of that rate
// (the input rate's top octave: at the input rate, eighth-order, so that the bilinear transform's
// warping near half the rate does not bend its skirts out of the limits): the input rate halved
// once per octave by half-band decimators, so that the low bands stay cheap and well conditioned
// in float. The bands of one rate run as the lanes of one vector (the input rate's two octaves
// as two, their recursions interleaved).
//
// Per band and for the total it keeps the sum of squares of its output and how many outputs it
// made (the energy mean over any stretch is their ratio), and, when a time constant is given, the
// exponentially time-weighted mean square (F 0.125 s, S 1 s).
// process(): the thread that feeds it, allocating nothing for blocks up to reserve()'s length.
// The rest: that thread, between calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/MeasurementDesign.h"
#include "engine/MeasurementLanes.h"

namespace lumetra {

class MeasurementBank {
public:
    static constexpr int numBands = 32;
    static constexpr int kTotal = numBands;  // index of the broadband total in the per-band arrays
    static constexpr int kEntries = numBands + 1;
    static constexpr int kLanes = 4;

    // timeConstantSec 0: no time weighting. rateHz from 1000 to 768000.
    MeasurementBank(double rateHz, Weighting weighting, double timeConstantSec);
    ~MeasurementBank();
    MeasurementBank(const MeasurementBank&) = delete;
    MeasurementBank& operator=(const MeasurementBank&) = delete;

    // Exact mid-band frequency of band j, Hz, and whether the band is measured at this rate: its
    // mid-band frequency at or below 0.45 of the rate. A band that is not has no output.
    static double centreHz(int band);
    bool measurable(int band) const { return bandStage[size_t(band)] >= 0; }
    double rateHz() const { return inputRateHz; }
    // The rate band j runs at (0 for a band that is not measured).
    double bandRateHz(int band) const;

    // Sizes the work buffers for blocks of up to maxBlock frames.
    void reserve(int maxBlock);
    // One block of n >= 0 samples.
    void process(const float* input, int n);
    // From now on every output sample of band j (at its own rate) is also appended to *into, for
    // measuring the filters (this allocates); null stops it.
    void capture(int band, std::vector<float>* into);

    // Sum of squares of each entry's output since the last clearEnergy() (the total's on the
    // input's scale), and how many samples it is over.
    double energy(int entry) const { return energySum[size_t(entry)]; }
    int64_t energyCount(int entry) const { return energyCounts[size_t(entry)]; }
    void clearEnergy();
    // The time-weighted mean square of each entry (0 without a time constant).
    double timeWeighted(int entry) const;

private:
    struct Stage;
    struct HalfBand;

    void runStage(Stage& stage, const float* input, int n);

    double inputRateHz;
    std::vector<Biquad> weightingDesign;
    std::vector<float> weightingState;  // x1, x2, y1, y2 per section
    std::vector<float> weighted;        // the weighted block
    std::vector<Stage*> stages;          // [k]: the input rate / 2^k
    std::array<int, numBands> bandStage{};
    std::array<int, numBands> bandLane{};
    std::array<double, kEntries> energySum{};
    std::array<int64_t, kEntries> energyCounts{};
    double totalCoefficient = 0;  // time weighting of the total, per input sample
    SectionLanes totalTable;      // its decay tables
    double totalWeighted = 0;
    bool timed = false;
    int capturedBand = -1;
    std::vector<float>* captured = nullptr;
};

}  // namespace lumetra
