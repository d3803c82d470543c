#include "toolkit/CVuMeter.h"

#include <algorithm>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

CVuMeter::CVuMeter(const CRect& size, CBitmap* onBitmap, CBitmap* offBitmap, int32_t nbLed, int32_t style)
    : CControl(size, nullptr, 0, onBitmap),
      offBitmap(offBitmap),
      nbLed(nbLed < 1 ? 1 : nbLed),
      style(style) {
    if (offBitmap) offBitmap->remember();
    setWantsIdle(true);
}

CVuMeter::~CVuMeter() {
    if (offBitmap) offBitmap->forget();
}

void CVuMeter::setDirty(bool state) { CView::setDirty(state); }

void CVuMeter::onIdle() {
    if (getOldValue() == getValue()) return;
    const CRect area = dirtyArea();
    if (!area.isEmpty())
        invalidRect(area);
    else
        setOldValue(nextShown());  // the same LEDs lit: the new value is shown without drawing
}

CRect CVuMeter::dirtyArea() const {
    if (CView::isDirty() || getOnBitmap() == nullptr) return size;
    return changedArea(litSpan(getOldValue()), litSpan(nextShown()));
}

float CVuMeter::nextShown() const {
    const float value = getValue() > vmax ? vmax : (getValue() < vmin ? vmin : getValue());
    const float shown = getOldValue() - decreaseValue;
    return value > shown ? value : shown;
}

CRect CVuMeter::changedArea(const LitSpan& before, const LitSpan& after) const {
    // An empty part lights nothing wherever it stands.
    const LitSpan a = before.to > before.from ? before : LitSpan{};
    const LitSpan b = after.to > after.from ? after : LitSpan{};
    int32_t from = 0;
    int32_t to = 0;
    auto include = [&](int32_t x, int32_t y) {
        if (x == y) return;
        const int32_t low = std::min(x, y), high = std::max(x, y);
        if (to <= from) from = low, to = high;
        from = std::min(from, low);
        to = std::max(to, high);
    };
    include(a.from, b.from);
    include(a.to, b.to);
    if (to <= from) return {};
    CCoord across = 0;  // how far the images reach across the column
    for (const CBitmap* image : {getOnBitmap(), offBitmap})
        if (image) across = std::max(across, (style & kHorizontal) ? image->getHeight() : image->getWidth());
    if (style & kHorizontal)
        return CRect(size.left + from, size.top, size.left + to, size.top + std::min(across, size.getHeight()));
    return CRect(size.left, size.top + from, size.left + std::min(across, size.getWidth()), size.top + to);
}

CRect CVuMeter::opaqueArea() const {
    const CBitmap* on = getOnBitmap();
    if (on == nullptr || offBitmap == nullptr || !on->isOpaque() || !offBitmap->isOpaque()) return {};
    const CCoord width = std::min({size.getWidth(), on->getWidth(), offBitmap->getWidth()});
    const CCoord height = std::min({size.getHeight(), on->getHeight(), offBitmap->getHeight()});
    return CRect(size.left, size.top, size.left + width, size.top + height);
}

void CVuMeter::drawSpan(CDrawContext* context, const LitSpan& lit) {
    const bool horizontal = style & kHorizontal;
    const auto length = static_cast<int32_t>(horizontal ? size.getWidth() : size.getHeight());
    auto part = [&](CBitmap* image, int32_t from, int32_t to) {
        if (image == nullptr || to <= from) return;
        CRect area(size);
        if (horizontal)
            area.left = size.left + from, area.right = size.left + to;
        else
            area.top = size.top + from, area.bottom = size.top + to;
        context->drawBitmap(image, area, horizontal ? CPoint(from, 0) : CPoint(0, from), 1.0f);
    };
    part(offBitmap, 0, lit.from);
    part(offBitmap, lit.to, std::max(length, lit.to));
    part(getOnBitmap(), lit.from, lit.to);
}

// k (a segment count) in single precision, truncated; k / n in single precision, widened to
// double, times the image's height or width, truncated: p is a row or column of the images.
CVuMeter::LitSpan CVuMeter::litSpan(float shown) const {
    const CBitmap* onImage = getOnBitmap();
    if (onImage == nullptr) return {};
    const auto n = static_cast<float>(nbLed);
    if (style & kHorizontal) {
        const auto k = static_cast<int32_t>(n * shown + 0.5f);
        return {0, static_cast<int32_t>(static_cast<double>(static_cast<float>(k) / n) * onImage->getWidth())};
    }
    const auto k = static_cast<int32_t>((vmax - shown) * n + 0.5f);  // dark segments from the top
    const auto p = static_cast<int32_t>(static_cast<double>(static_cast<float>(k) / n) * onImage->getHeight());
    return {p, static_cast<int32_t>(size.getHeight())};
}

// A plain bar: lit from the bottom (vertical) or from the left (horizontal). A drawing clipped to
// another area (an exposed part of the window) that changes what the meter shows asks for the
// rest of the change to be drawn at the next idle.
void CVuMeter::draw(CDrawContext* context) {
    if (getOnBitmap() == nullptr) return;  // displayed value stays apart: asks again at the next idle
    bounceValue();
    const bool whole = CView::isDirty();
    const LitSpan before = litSpan(getOldValue());
    const float shown = nextShown();
    setOldValue(shown);
    const LitSpan lit = litSpan(shown);
    drawSpan(context, lit);
    const CRect changed = whole ? size : changedArea(before, lit);
    const CRect& clip = context->getClipRect();
    const bool covered = clip.left <= changed.left && clip.top <= changed.top && clip.right >= changed.right &&
                         clip.bottom >= changed.bottom;
    if (!changed.isEmpty() && !covered) invalidRect(changed);
    setDirty(false);
}
