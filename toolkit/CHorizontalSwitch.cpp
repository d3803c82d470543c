#include "toolkit/CHorizontalSwitch.h"

#include <cmath>

#include "toolkit/CDrawContext.h"

CHorizontalSwitch::CHorizontalSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                                     int32_t subPixmaps, CCoord heightOfOneImage, int32_t iMaxPositions,
                                     CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background),
      subPixmaps(subPixmaps < 1 ? 1 : subPixmaps),
      heightOfOneImage(heightOfOneImage),
      maxPositions(iMaxPositions < 1 ? 1 : iMaxPositions),
      offset(offset) {
    setWheelInc(maxPositions > 1 ? 1.0f / static_cast<float>(maxPositions - 1) : 0.0f);
}

int32_t CHorizontalSwitch::getSubPixmapIndex() const {
    const float range = vmax - vmin;
    const float fraction = range != 0.0f ? (value - vmin) / range : 0.0f;
    return static_cast<int32_t>(std::lround(fraction * static_cast<float>(subPixmaps - 1)));
}

float CHorizontalSwitch::valueOfPosition(int32_t position) const {
    if (maxPositions < 2) return vmin;
    return vmin + (vmax - vmin) * static_cast<float>(position) / static_cast<float>(maxPositions - 1);
}

void CHorizontalSwitch::draw(CDrawContext* context) {
    if (background)
        context->drawBitmap(background, size, CPoint(offset.x, offset.y + getSubPixmapIndex() * heightOfOneImage));
    setOldValue(value);
    setDirty(false);
}

CMouseEventResult CHorizontalSwitch::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (checkDefaultValue(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (!pressed) {  // a second press before the release continues the click
        beginEdit();
        pressed = true;
    }
    return onMouseMoved(where, buttons);
}

CMouseEventResult CHorizontalSwitch::onMouseMoved(CPoint& where, const CButtonState&) {
    if (!pressed) return kMouseEventNotHandled;
    const double width = size.getWidth();
    double position = width > 0 ? std::floor((where.x - size.left) * maxPositions / width) : 0;
    position = position < 0 ? 0 : (position > maxPositions - 1 ? maxPositions - 1 : position);
    changeValue(valueOfPosition(static_cast<int32_t>(position)));
    return kMouseEventHandled;
}

CMouseEventResult CHorizontalSwitch::onMouseUp(CPoint&, const CButtonState&) {
    if (!pressed) return kMouseEventNotHandled;
    pressed = false;
    endEdit();
    return kMouseEventHandled;
}

bool CHorizontalSwitch::onWheel(const CPoint&, const float& distance, const CButtonState&) {
    const float steps = distance > 0 ? 1.0f : (distance < 0 ? -1.0f : 0.0f);  // one position per notch
    stepValue(steps * wheelInc * (vmax - vmin));
    return true;
}

int32_t CHorizontalSwitch::onKeyDown(VstKeyCode& keyCode) {
    const float direction = arrowDirection(keyCode);
    if (direction == 0.0f) return -1;
    stepValue(direction * wheelInc * (vmax - vmin));
    return 1;
}
