// The built-in test signal of `lumetra analyze`: pink noise plus steady tones, stereo, the same
// samples on every machine (own random generator, double-precision synthesis).
#pragma once

#include <cstdint>

namespace lumetra {

class TestSignal {
public:
    static constexpr double kRateHz = 48000.0;
    static constexpr int64_t kFrames = 480000;  // 10 s
    // Tones in both channels: frequency in Hz and peak amplitude (1.0 = full scale).
    static constexpr double kToneHz[3] = {63.0, 1000.0, 8000.0};
    static constexpr double kToneAmplitude[3] = {0.1, 0.05, 0.025};  // -20, -26, -32 dBFS
    static constexpr double kNoiseRms = 0.1;                         // per channel, -20 dBFS

    // Writes the next n frames; after kFrames frames the signal continues (it has no end).
    void generate(float* left, float* right, int64_t n);

private:
    struct Pink {  // white noise through a fixed pinking filter, -3 dB per octave above ~10 Hz
        uint64_t state;
        double b[7] = {};
        double next();
    };
    Pink pinkLeft{0x9E3779B97F4A7C15ull};
    Pink pinkRight{0xD1B54A32D192ED03ull};
    int64_t position = 0;  // frames generated so far
};

}  // namespace lumetra
