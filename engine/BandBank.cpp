#include "engine/BandBank.h"

#include "engine/DesignMath.h"

namespace lumetra {

bool isUsableSampleRate(float rateHz) {
    return rateHz >= kMinSampleRateHz && rateHz <= kMaxSampleRateHz;  // false for NaN
}

float bandCentreHz(int32_t band) {
    return designPow(10.0f, static_cast<float>(band + 12) * 0.1f);
}

int32_t delaySamplesFor(float delayValue, float rateHz, float fallbackRateHz) {
    float value = delayValue;
    if (!(value > 0.0f)) value = 0.0f;  // NaN, -inf and negatives
    if (value > 1.0f) value = 1.0f;
    float rate = isUsableSampleRate(rateHz) ? rateHz : fallbackRateHz;
    if (!isUsableSampleRate(rate)) rate = kMinSampleRateHz;
    return static_cast<int32_t>(rate * (value * 0.3f));  // at most 230400
}

}  // namespace lumetra
