// How well each band of a filter bank meets the acceptance limits of relative attenuation for
// one-third-octave filters of classes 1 and 2: steady sines at the normalised frequencies of the
// limits' breakpoints (and halfway between them, on both sides of the band) run through the
// bank's own filters as built, each band's steady output level compared with its level at its
// mid-band frequency. Thread: the caller's.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/AnalyzeBands.h"

namespace lumetra {

enum class FilterBank { Plugin, Standard };
const char* filterBankName(FilterBank bank);  // "plugin", "standard"
// "plugin" or "standard" as --filters takes it; throws UsageError for anything else.
FilterBank parseFilterBank(const std::string& text);

// The limits at a normalised frequency omega = f / fm > 0 for class 1 ([0]) and class 2 ([1]):
// the least and the most relative attenuation allowed, dB (the most is +infinity outside the
// pass band; at the band edge both the pass band's and the stop band's limit hold).
struct AttenuationLimits {
    std::array<double, 2> least;
    std::array<double, 2> most;
};
AttenuationLimits attenuationLimits(double omega);
// The normalised frequencies measured, ascending: the breakpoints of the limits on both sides of
// the band and the geometric midpoints between neighbours.
std::vector<double> conformanceFrequencies();

struct ResponsePoint {
    double omega = 0;
    double attenuationDb = 0;  // relative to the mid-band frequency's
};

struct BandConformance {
    int band = 0;
    double centreHz = 0;   // the mid-band frequency the bank uses for the band
    bool measurable = false;
    std::array<double, 2> marginDb{};  // worst margin to the class 1 and class 2 limits; < 0 misses
    std::array<double, 2> worstOmega{};
    std::vector<ResponsePoint> response;  // the points below half the rate
    int classMet() const { return marginDb[0] >= 0 ? 1 : marginDb[1] >= 0 ? 2 : 0; }
};

// Measures every band of the bank at rateHz (1000 to 768000).
std::vector<BandConformance> measureConformance(FilterBank bank, double rateHz);

// The response picture over the limit masks: one panel per measurable band, in a grid. Throws
// AnalysisError when the PNG cannot be made.
// The table of the bands and the one-line summary.
void writeConformanceReport(FILE* out, const std::vector<BandConformance>& bands, FilterBank bank, double rateHz);
void writeConformanceChart(FILE* out, const std::vector<BandConformance>& bands, FilterBank bank, double rateHz);

}  // namespace lumetra
