#include "editor/CExtendedVuMeter.h"

#include <algorithm>

#include "toolkit/CBitmap.h"

// k (a segment count) in single precision, truncated; k / n in single precision, widened to
// double, times the image's height, truncated: p is a row of the images. Vertical meters fold
// back; a horizontal one is CVuMeter's plain bar.
CVuMeter::LitSpan CExtendedVuMeter::litSpan(float shown) const {
    const CBitmap* onImage = getOnBitmap();
    if (onImage == nullptr || (style & kHorizontal)) return CVuMeter::litSpan(shown);
    const auto n = static_cast<float>(nbLed);
    const double height = onImage->getHeight();
    if (shown <= 0.5f) {
        // Lower half: k dark segments from the top; lit from row p down.
        const auto k = static_cast<int32_t>((vmax - 2.0f * shown) * n + 0.5f);
        return {static_cast<int32_t>(static_cast<double>(static_cast<float>(k) / n) * height),
                static_cast<int32_t>(size.getHeight())};
    }
    // Upper half: k lit segments from the top; lit down to row p.
    const float ceiling = (2.0f * n - 1.0f) / (2.0f * n);
    const float folded = std::min(shown, ceiling);
    const auto k = static_cast<int32_t>((vmax - 2.0f * (folded - 0.5f)) * n + 0.5f);
    return {0, static_cast<int32_t>(static_cast<double>(static_cast<float>(k) / n) * height)};
}
