#include "toolkit/CVuMeter.h"

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

CVuMeter::CVuMeter(const CRect& size, CBitmap* onBitmap, CBitmap* offBitmap, int32_t nbLed, int32_t style)
    : CControl(size, nullptr, 0, onBitmap),
      offBitmap(offBitmap),
      nbLed(nbLed < 1 ? 1 : nbLed),
      style(style),
      rectOn(size),
      rectOff(size) {
    if (offBitmap) offBitmap->remember();
    setWantsIdle(true);
}

CVuMeter::~CVuMeter() {
    if (offBitmap) offBitmap->forget();
}

void CVuMeter::setViewSize(const CRect& rect, bool invalidate) {
    CControl::setViewSize(rect, invalidate);
    rectOn = rect;
    rectOff = rect;
}

void CVuMeter::setDirty(bool state) { CView::setDirty(state); }

void CVuMeter::onIdle() {
    if (getOldValue() != getValue()) invalid();
}

// A plain bar: lit from the bottom (vertical) or from the left (horizontal).
void CVuMeter::draw(CDrawContext* context) {
    CBitmap* onImage = getOnBitmap();
    if (onImage == nullptr) return;
    bounceValue();
    float shown = getOldValue() - decreaseValue;
    if (value > shown) shown = value;
    setOldValue(shown);

    CRect on(rectOn);
    CRect off(rectOff);
    CPoint onOffset;
    CPoint offOffset;
    const auto n = static_cast<float>(nbLed);
    const auto left = static_cast<int32_t>(size.left);
    const auto top = static_cast<int32_t>(size.top);
    if (style & kHorizontal) {
        const auto k = static_cast<int32_t>(n * shown + 0.5f);
        const auto p = static_cast<int32_t>(static_cast<double>(static_cast<float>(k) / n) * onImage->getWidth());
        off.left = on.right = left + p;
        offOffset = CPoint(p, 0);
    } else {
        const auto k = static_cast<int32_t>((vmax - shown) * n + 0.5f);  // dark segments from the top
        const auto p = static_cast<int32_t>(static_cast<double>(static_cast<float>(k) / n) * onImage->getHeight());
        on.top = off.bottom = top + p;
        onOffset = CPoint(0, p);
    }
    if (offBitmap) context->drawBitmap(offBitmap, off, offOffset, 1.0f);
    context->drawBitmap(onImage, on, onOffset, 1.0f);
    setDirty(false);
}
