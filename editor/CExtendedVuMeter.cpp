#include "editor/CExtendedVuMeter.h"

#include <algorithm>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

// k (a segment count) in single precision, truncated; k / n in single precision, widened to
// double, times the image's height or width, truncated: p is a row or column of the images.
void CExtendedVuMeter::draw(CDrawContext* context) {
    CBitmap* onImage = getOnBitmap();
    if (onImage == nullptr) return;  // displayed value stays apart: asks again at the next idle
    bounceValue();
    float shown = getOldValue() - decreaseValue;
    if (value > shown) shown = value;
    setOldValue(shown);

    CRect on(rectOn);
    CRect off(rectOff);
    CPoint onOffset(0, 0);
    CPoint offOffset(0, 0);
    const auto n = static_cast<float>(nbLed);
    const auto left = static_cast<int32_t>(size.left);
    const auto top = static_cast<int32_t>(size.top);
    const double height = onImage->getHeight();
    if (style & kHorizontal) {
        const auto k = static_cast<int32_t>(n * shown + 0.5f);
        const auto p = static_cast<int32_t>(static_cast<double>(static_cast<float>(k) / n) * onImage->getWidth());
        off.left = on.right = left + p;
        offOffset = CPoint(p, 0);
    } else if (shown <= 0.5f) {
        // Lower half: k dark segments from the top; the on image shows from row p down.
        const auto k = static_cast<int32_t>((vmax - 2.0f * shown) * n + 0.5f);
        const auto p = static_cast<int32_t>(static_cast<double>(static_cast<float>(k) / n) * height);
        on.top = off.bottom = top + p;
        onOffset = CPoint(0, p);
    } else {
        // Upper half: k lit segments from the top; the off image shows from row p down.
        const float ceiling = (2.0f * n - 1.0f) / (2.0f * n);
        const float folded = std::min(shown, ceiling);
        const auto k = static_cast<int32_t>((vmax - 2.0f * (folded - 0.5f)) * n + 0.5f);
        const auto p = static_cast<int32_t>(static_cast<double>(static_cast<float>(k) / n) * height);
        on.bottom = off.top = top + p;
        offOffset = CPoint(0, p);
    }
    if (offBitmap) context->drawBitmap(offBitmap, off, offOffset, 1.0f);
    context->drawBitmap(onImage, on, onOffset, 1.0f);
    setDirty(false);
}
