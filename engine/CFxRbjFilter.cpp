#include "engine/CFxRbjFilter.h"

#include <cmath>

#include "engine/DesignMath.h"

// The thread that builds the bank. Double precision throughout; each result narrowed once. Sine
// and cosine from DesignMath: the same coefficients on every C library.
void CFxRbjFilter::designBandPass(double frequency, double sampleRate, double q) {
    const double w = frequency * 6.283185307179586 / sampleRate;
    const double s = lumetra::designSin(w);
    const double c = lumetra::designCos(w);
    const double alpha = s / (q * 2.0);
    const double a0 = alpha + 1.0;
    b0 = static_cast<float>(alpha / a0);
    b1 = static_cast<float>(0.0 / a0);  // a signed zero: it takes a0's sign
    b2 = static_cast<float>(-alpha / a0);
    a1 = static_cast<float>((c * -2.0) / a0);
    a2 = static_cast<float>((1.0 - alpha) / a0);
}

// Audio thread. Four samples per pass, then the rest one by one; every output is the plain
// recurrence y = b0*x + b1*x1 + b2*x2 - a1*y1 - a2*y2, evaluated left to right (three products
// added, then two subtracted), so any split of a signal into blocks gives the same bits.
void CFxRbjFilter::process(float* buffer, int32_t count) {
    const float cb0 = b0, cb1 = b1, cb2 = b2, ca1 = a1, ca2 = a2;
    float hx1 = x1, hx2 = x2, hy1 = y1, hy2 = y2;

    int32_t i = 0;
    for (const int32_t passes = count / 4; i < passes * 4; i += 4) {
        const float in0 = buffer[i];
        const float in1 = buffer[i + 1];
        const float in2 = buffer[i + 2];
        const float in3 = buffer[i + 3];
        const float out0 = cb0 * in0 + cb1 * hx1 + cb2 * hx2 - ca1 * hy1 - ca2 * hy2;
        const float out1 = cb0 * in1 + cb1 * in0 + cb2 * hx1 - ca1 * out0 - ca2 * hy1;
        const float out2 = cb0 * in2 + cb1 * in1 + cb2 * in0 - ca1 * out1 - ca2 * out0;
        const float out3 = cb0 * in3 + cb1 * in2 + cb2 * in1 - ca1 * out2 - ca2 * out1;
        buffer[i] = out0;
        buffer[i + 1] = out1;
        buffer[i + 2] = out2;
        buffer[i + 3] = out3;
        hx2 = in2;
        hx1 = in3;
        hy2 = out2;
        hy1 = out3;
    }
    for (; i < count; ++i) {
        const float in = buffer[i];
        const float out = cb0 * in + cb1 * hx1 + cb2 * hx2 - ca1 * hy1 - ca2 * hy2;
        buffer[i] = out;
        hx2 = hx1;
        hx1 = in;
        hy2 = hy1;
        hy1 = out;
    }

    x1 = hx1;
    x2 = hx2;
    // Flushed once per block, after the loop: in silence this brings the histories to exactly 0
    // instead of letting them crawl through denormals. x1 and x2 are never flushed.
    y1 = std::fabs(hy1) < 1e-20f ? 0.0f : hy1;
    y2 = std::fabs(hy2) < 1e-20f ? 0.0f : hy2;
}
