#include "engine/ResponseMode.h"

#include <cmath>

#include "engine/DesignMath.h"

namespace lumetra {

namespace {

// Straight ramp from 0 at 30 Hz to 1 at topHz.
float weight(float f, float topHz, float span) {
    if (f <= 30.0f) return 0.0f;
    if (f >= topHz) return 1.0f;
    return (f - 30.0f) / span;
}

float fourthRoot(float g) { return std::sqrt(std::sqrt(g)); }

}  // namespace

// Each time left to right: the exponential, then the scale, then x 0.0014.
ResponseTimes responseTimes(float resp, float centreHz) {
    const float q1 = fourthRoot(weight(centreHz, 100.0f, 70.0f));
    const float q2 = fourthRoot(weight(centreHz, 1000.0f, 970.0f));
    if (resp < 0.3f) return {designExp(q1 * -0.5f) * 180.0f * 0.0014f, designExp(q2 * -1.5f) * 1000.0f * 0.0014f};
    if (resp < 0.7f) return {0.343f, designExp(q2 * -1.18f) * 1300.0f * 0.0014f};
    return {1.4f, designExp(q2 * -0.63f) * 3000.0f * 0.0014f};
}

}  // namespace lumetra
