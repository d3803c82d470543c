#include "engine/MeterValue.h"

#include <cmath>

namespace lumetra {

float meterFraction(float level, float volume) {
    const float t = volume * 40.0f;
    const float top = 40.0f - t;
    const float bottom = -20.0f - t;
    // The logarithm in double, narrowed: the correctly rounded float on every C library (each
    // library's own single-precision log10 is off by an ulp on a few inputs, each on different ones).
    const float d = static_cast<float>(std::log10(static_cast<double>(level + 1e-20f))) * 20.0f;
    if (!(d > bottom)) return 0.0f;  // at or below the window, or no number at all
    if (d >= top) return 1.0f;
    return (d - bottom) / (top - bottom);
}

}  // namespace lumetra
