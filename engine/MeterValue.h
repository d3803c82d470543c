// A band level as the editor's meters receive it: a fraction of a 60 dB window that Volume moves,
// packed with the band index into one float for parameter 1. Pure functions; any thread.
#pragma once

#include <cstdint>

namespace lumetra {

// 0 to 1: the level's place in the window from (-20 - 40 x volume) dB to (40 - 40 x volume) dB.
// 0 for a level or volume that gives no number (NaN), so a packed value is never NaN.
float meterFraction(float level, float volume);

// band + fraction x 0.5: the product first, then the sum.
inline float packedMeterValue(int32_t band, float fraction) {
    return fraction * 0.5f + static_cast<float>(band);
}

}  // namespace lumetra
