#include "tools/TestSignal.h"

#include <cmath>
#include <numbers>

namespace lumetra {

namespace {

// The pinking filter's output has an RMS of about 1.78 for this white noise (RMS 1/sqrt(3)).
constexpr double kPinkGain = TestSignal::kNoiseRms / 1.78;

}  // namespace

double TestSignal::Pink::next() {
    // xorshift64*: uniform white noise in [-1, 1), RMS 1/sqrt(3).
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    const uint64_t bits = state * 0x2545F4914F6CDD1Dull;
    const double white = double(bits >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    // Sum of six one-pole low-passes spaced over the audio range: a -3 dB/octave slope within
    // about 0.5 dB from 10 Hz to 20 kHz.
    b[0] = 0.99886 * b[0] + white * 0.0555179;
    b[1] = 0.99332 * b[1] + white * 0.0750759;
    b[2] = 0.96900 * b[2] + white * 0.1538520;
    b[3] = 0.86650 * b[3] + white * 0.3104856;
    b[4] = 0.55000 * b[4] + white * 0.5329522;
    b[5] = -0.7616 * b[5] - white * 0.0168980;
    const double pink = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + white * 0.5362;
    b[6] = white * 0.115926;
    return pink * kPinkGain;
}

void TestSignal::generate(float* left, float* right, int64_t n) {
    for (int64_t k = 0; k < n; ++k, ++position) {
        const double t = double(position) / kRateHz;
        double tones = 0.0;
        for (int i = 0; i < 3; ++i) tones += kToneAmplitude[i] * std::sin(2.0 * std::numbers::pi * kToneHz[i] * t);
        left[k] = float(tones + pinkLeft.next());
        right[k] = float(tones + pinkRight.next());
    }
}

}  // namespace lumetra
