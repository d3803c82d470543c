// One band-pass biquad section (constant 0 dB peak gain), single precision, run in place.
// designBandPass(): the thread that builds the bank. process(): audio thread.
#pragma once

#include <cstdint>

class CFxRbjFilter {
public:
    virtual ~CFxRbjFilter() = default;

    // Design in double; each coefficient is narrowed to float when stored. Histories untouched.
    void designBandPass(double frequency, double sampleRate, double q);
    // Replaces buffer[0 .. count-1] by the filtered signal; flushes y1/y2 below 1e-20 afterwards
    // (also for count <= 0).
    void process(float* buffer, int32_t count);

    float b0 = 0.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;  // divided by a0
    float y1 = 0.0f, y2 = 0.0f, x1 = 0.0f, x2 = 0.0f;
};
