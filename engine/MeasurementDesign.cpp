#include "engine/MeasurementDesign.h"

#include <cmath>
#include <complex>
#include <numbers>

#include "engine/DesignMath.h"

namespace lumetra {

namespace {

using Complex = std::complex<double>;

double designTan(double x) { return designSin(x) / designCos(x); }

// The principal square root from real square roots only (std::sqrt of a complex number goes
// through the C library's hypot and atan2, which differ between systems).
Complex rootOf(Complex z) {
    const double modulus = std::sqrt(z.real() * z.real() + z.imag() * z.imag());
    const double re = std::sqrt((modulus + z.real()) * 0.5);
    const double im = std::sqrt(std::max(0.0, (modulus - z.real()) * 0.5));
    return {re, z.imag() < 0 ? -im : im};
}

// e^(-j w), the delay of one sample at w radians per sample.
Complex delayAt(double w) { return {designCos(w), -designSin(w)}; }

Complex sectionResponse(const Biquad& s, Complex zInv) {
    return (s.b0 + zInv * (s.b1 + zInv * s.b2)) / (1.0 + zInv * (s.a1 + zInv * s.a2));
}

// The bilinear image of an s-plane pole, in s normalised by twice the rate.
Complex bilinear(Complex s) { return (1.0 + s) / (1.0 - s); }

// Denominator of the conjugate pair of poles z and its conjugate.
Biquad conjugatePoles(Complex z) {
    Biquad s;
    s.a1 = -2.0 * z.real();
    s.a2 = z.real() * z.real() + z.imag() * z.imag();
    return s;
}

// Zeroth-order modified Bessel function of the first kind, from its series.
double besselI0(double x) {
    double term = 1.0, sum = 1.0;
    for (int k = 1; k < 200 && term > sum * 1e-17; ++k) {
        const double half = x / (2.0 * k);
        term *= half * half;
        sum += term;
    }
    return sum;
}

// The analogue corner frequencies of the A and C weightings, Hz.
constexpr double kPoleLow = 20.598997, kPoleA2 = 107.65265, kPoleA3 = 737.86223, kPoleHigh = 12194.217;

double weightingMagnitude(Weighting weighting, double hz) {
    const double f2 = hz * hz;
    const double low = f2 + kPoleLow * kPoleLow, high = f2 + kPoleHigh * kPoleHigh;
    if (weighting == Weighting::C) return kPoleHigh * kPoleHigh * f2 / (low * high);
    if (weighting == Weighting::A)
        return kPoleHigh * kPoleHigh * f2 * f2 /
               (low * std::sqrt((f2 + kPoleA2 * kPoleA2) * (f2 + kPoleA3 * kPoleA3)) * high);
    return 1.0;
}

double magnitude(Complex z) { return std::sqrt(z.real() * z.real() + z.imag() * z.imag()); }

// A corner frequency on the bilinear transform's axis: pre-warped, so that the corner lands where
// the analogue one is. A corner too near half the rate to pre-warp keeps its unwarped place.
double warped(double hz, double rateHz) {
    const double w = std::numbers::pi * hz / rateHz;
    return hz < 0.45 * rateHz ? designTan(w) : w;
}

// Two real poles at corner frequencies hzA and hzB and a double zero at z = zero (1 or -1).
Biquad realPolePair(double hzA, double hzB, double zero, double rateHz) {
    const double pa = bilinear(-warped(hzA, rateHz)).real();
    const double pb = bilinear(-warped(hzB, rateHz)).real();
    Biquad s;
    s.b0 = 1.0;
    s.b1 = -2.0 * zero;
    s.b2 = 1.0;
    s.a1 = -(pa + pb);
    s.a2 = pa * pb;
    return s;
}

}  // namespace

std::vector<Biquad> designButterworthBandPass(int order, double lowHz, double highHz, double centreHz, double rateHz) {
    // Band edges pre-warped onto the bilinear transform's frequency axis (s / 2fs).
    const double w1 = designTan(std::numbers::pi * lowHz / rateHz);
    const double w2 = designTan(std::numbers::pi * highHz / rateHz);
    const double bandwidth = w2 - w1, centreSquared = w1 * w2;
    // The Butterworth low-pass prototype's poles in the upper half-plane (and -1 for an odd
    // order). Each becomes two band-pass poles, the roots of s^2 - p B s + w0^2; the conjugate
    // prototype pole gives their conjugates. The real pole's two are a conjugate pair.
    std::vector<Complex> prototype;
    if (order % 2 != 0) prototype.emplace_back(-1.0, 0.0);
    for (int k = 0; k < order / 2; ++k) {
        const double angle = std::numbers::pi * (0.5 + (2.0 * k + 1.0) / (2.0 * order));
        prototype.emplace_back(designCos(angle), designSin(angle));
    }
    std::vector<Complex> poles;
    for (const Complex p : prototype) {
        const Complex pb = p * bandwidth;
        const Complex root = rootOf(pb * pb - 4.0 * centreSquared);
        for (const Complex s : {(pb + root) * 0.5, (pb - root) * 0.5}) {
            const Complex upper = s.imag() < 0 ? std::conj(s) : s;
            if (p.imag() == 0.0 && !poles.empty() && poles.back() == upper) continue;  // the real pole's pair
            poles.push_back(upper);
        }
    }
    const Complex zInv = delayAt(2.0 * std::numbers::pi * centreHz / rateHz);
    std::vector<Biquad> sections;
    for (const Complex s : poles) {
        Biquad section = conjugatePoles(bilinear(s));
        section.b0 = 1.0;  // zeros at DC and at half the rate
        section.b2 = -1.0;
        const double gain = 1.0 / magnitude(sectionResponse(section, zInv));
        section.b0 = gain;
        section.b2 = -gain;
        sections.push_back(section);
    }
    return sections;
}

std::vector<double> designHalfBand(int pairs, double kaiserBeta) {
    const int length = 4 * pairs - 1, middle = length / 2;
    std::vector<double> taps(static_cast<size_t>(length), 0.0);
    double oddSum = 0.0;
    for (int i = 0; i < length; ++i) {
        const int n = i - middle;
        if (n % 2 == 0) continue;  // zero, apart from the centre
        const double ratio = double(n) / double(middle);
        const double window = besselI0(kaiserBeta * std::sqrt(1.0 - ratio * ratio)) / besselI0(kaiserBeta);
        const double sinc = ((n - 1) / 2 % 2 == 0 ? 1.0 : -1.0) / (std::numbers::pi * n);  // sin(pi n / 2) / (pi n)
        taps[size_t(i)] = sinc * window;
        oddSum += taps[size_t(i)];
    }
    for (double& tap : taps) tap *= 0.5 / oddSum;  // the other half of a gain of 1 at DC
    taps[size_t(middle)] = 0.5;
    return taps;
}

const char* weightingName(Weighting weighting) {
    return weighting == Weighting::A ? "A" : weighting == Weighting::C ? "C" : "Z";
}

std::vector<Biquad> designWeighting(Weighting weighting, double rateHz) {
    std::vector<Biquad> sections;
    if (weighting == Weighting::Z) return sections;
    sections.push_back(realPolePair(kPoleLow, kPoleLow, 1.0, rateHz));
    if (weighting == Weighting::A) sections.push_back(realPolePair(kPoleA2, kPoleA3, 1.0, rateHz));
    sections.push_back(realPolePair(kPoleHigh, kPoleHigh, -1.0, rateHz));
    const double gain = 1.0 / cascadeGain(sections, 1000.0, rateHz);
    sections.front().b0 *= gain;
    sections.front().b1 *= gain;
    sections.front().b2 *= gain;
    return sections;
}

double weightingDb(Weighting weighting, double hz) {
    return 20.0 * std::log10(weightingMagnitude(weighting, hz) / weightingMagnitude(weighting, 1000.0));
}

double cascadeGain(const std::vector<Biquad>& sections, double hz, double rateHz) {
    const Complex zInv = delayAt(2.0 * std::numbers::pi * hz / rateHz);
    double gain = 1.0;
    for (const Biquad& s : sections) gain *= magnitude(sectionResponse(s, zInv));
    return gain;
}

double firGain(const std::vector<double>& taps, double hz, double rateHz) {
    Complex sum = 0.0;
    for (size_t i = 0; i < taps.size(); ++i) sum += taps[i] * delayAt(2.0 * std::numbers::pi * hz / rateHz * double(i));
    return magnitude(sum);
}

}  // namespace lumetra
