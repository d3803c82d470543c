// Designs of the measurement filters of the tool (never of the plug-in): the one-third-octave
// band-passes of the measurement bank, the half-band filters of its rate steps, and the A and C
// frequency weightings. Designed in double with the project's own sine and cosine, so the same
// coefficients come out on every system; the filters run in float. Design time only; any thread.
#pragma once

#include <vector>

namespace lumetra {

// One second-order section, a0 = 1: y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2.
struct Biquad {
    double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// Butterworth band-pass of twice the given order (the low-pass prototype's) with its -3 dB edges
// at lowHz and highHz (both below half of rateHz; the edges are pre-warped, so they land
// exactly), as `order` sections, each of gain 1 at centreHz.
std::vector<Biquad> designButterworthBandPass(int order, double lowHz, double highHz, double centreHz, double rateHz);

// Linear-phase half-band low-pass of 4 * pairs - 1 taps (Kaiser-windowed): the centre tap is 0.5,
// every other tap beside it 0, and the taps sum to 1. Gain 1/2 at a quarter of the rate it runs at.
std::vector<double> designHalfBand(int pairs, double kaiserBeta);

// Frequency weightings: A and C from their analogue poles (bilinear, each pole pre-warped), Z flat.
enum class Weighting { A, C, Z };
const char* weightingName(Weighting weighting);  // "A", "C", "Z"
// The sections of a weighting at rateHz, gain 1 at 1 kHz; none for Z.
std::vector<Biquad> designWeighting(Weighting weighting, double rateHz);
// The design goal: the analogue weighting in dB at hz, 0 at 1 kHz.
double weightingDb(Weighting weighting, double hz);

// |H| of a cascade of sections at hz, for a rate of rateHz.
double cascadeGain(const std::vector<Biquad>& sections, double hz, double rateHz);
// |H| of an FIR at hz, for a rate of rateHz.
double firGain(const std::vector<double>& taps, double hz, double rateHz);

}  // namespace lumetra
