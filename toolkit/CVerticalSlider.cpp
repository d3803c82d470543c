#include "toolkit/CVerticalSlider.h"

#include <cmath>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/VstKeys.h"

CVerticalSlider::CVerticalSlider(const CRect& size, CControlListener* listener, int32_t tag,
                                 int32_t iMinPos, int32_t iMaxPos, CBitmap* handle, CBitmap* background,
                                 const CPoint& offset, int32_t style)
    : CControl(size, listener, tag, background),
      handle(handle),
      minPos(iMinPos),
      maxPos(iMaxPos),
      offset(offset),
      style(style) {
    if (handle) handle->remember();
}

CVerticalSlider::~CVerticalSlider() {
    if (handle) handle->forget();
}

void CVerticalSlider::setOffsetHandle(const CPoint& value) {
    offsetHandle = value;
    setDirty(true);
}

CCoord CVerticalSlider::getHandleTop() const {
    const float range = vmax - vmin;
    double fraction = range != 0.0f ? (value - vmin) / range : 0.0;
    if (style & kBottom) fraction = 1.0 - fraction;
    return minPos + std::round(fraction * travel());
}

float CVerticalSlider::valueAt(CCoord handleTop) const {
    double fraction = travel() > 0 ? (handleTop - minPos) / travel() : 0.0;
    fraction = fraction < 0 ? 0 : (fraction > 1 ? 1 : fraction);
    if (style & kBottom) fraction = 1.0 - fraction;
    return vmin + static_cast<float>(fraction) * (vmax - vmin);
}

void CVerticalSlider::draw(CDrawContext* context) {
    if (background) context->drawBitmap(background, size, offset);
    if (handle) {
        const CCoord top = getHandleTop() + offsetHandle.y;
        const CCoord left = size.left + offsetHandle.x;
        context->drawBitmap(handle, CRect(left, top, left + handle->getWidth(), top + handle->getHeight()));
    }
    setOldValue(value);
    setDirty(false);
}

CMouseEventResult CVerticalSlider::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (checkDefaultValue(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (!dragging) {  // a second press before the release continues the drag
        beginEdit();
        dragging = true;
    }
    const CCoord top = getHandleTop();
    const CCoord handleHeight = handle ? handle->getHeight() : 0;
    if (where.y >= top && where.y < top + handleHeight) {
        grabY = where.y - top;  // grabbed the handle: it keeps its place until the pointer moves
    } else {
        grabY = handleHeight / 2;
        onMouseMoved(where, buttons);
    }
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSlider::onMouseMoved(CPoint& where, const CButtonState&) {
    if (!dragging) return kMouseEventNotHandled;
    changeValue(valueAt(where.y - grabY));
    return kMouseEventHandled;
}

CMouseEventResult CVerticalSlider::onMouseUp(CPoint&, const CButtonState&) {
    if (!dragging) return kMouseEventNotHandled;
    dragging = false;
    endEdit();
    return kMouseEventHandled;
}

bool CVerticalSlider::onWheel(const CPoint&, const float& distance, const CButtonState& buttons) {
    const float step = (buttons & kShift) ? wheelInc * 0.1f : wheelInc;
    stepValue(distance * step * (vmax - vmin));
    return true;
}

int32_t CVerticalSlider::onKeyDown(VstKeyCode& keyCode) {
    const float direction = arrowDirection(keyCode);
    if (direction == 0.0f) return -1;
    const float step = (keyCode.modifier & MODIFIER_SHIFT) ? wheelInc * 0.1f : wheelInc;
    stepValue(direction * step * (vmax - vmin));
    return 1;
}
