// A vertical fader: a handle image moving over a background image. The handle's top edge travels
// from iMinPos to iMaxPos (frame coordinates); with kBottom the value is max at iMinPos (the top)
// and min at iMaxPos, with kTop the other way round. A press on the handle drags it from where
// it was grabbed; a press elsewhere on the track first centres the handle on the pointer.
// Wheel and arrow keys step by the wheel increment (a tenth of it with Shift). UI thread.
#pragma once

#include "toolkit/CControl.h"

class CVerticalSlider : public CControl {
public:
    CVerticalSlider(const CRect& size, CControlListener* listener, int32_t tag, int32_t iMinPos,
                    int32_t iMaxPos, CBitmap* handle, CBitmap* background,
                    const CPoint& offset = CPoint(0, 0), int32_t style = kBottom);
    ~CVerticalSlider() override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;

    // Where the handle image is drawn relative to its travel position (the track's left edge).
    void setOffsetHandle(const CPoint& value);
    const CPoint& getOffsetHandle() const { return offsetHandle; }
    // Where in the background image drawing starts.
    void setOffset(const CPoint& value) { offset = value; }
    CBitmap* getHandle() const { return handle; }

    // The handle's top edge for the current value, in frame coordinates.
    CCoord getHandleTop() const;

private:
    float valueAt(CCoord handleTop) const;
    CCoord travel() const { return maxPos - minPos; }

    CBitmap* handle;
    CCoord minPos;   // frame y of the handle's top edge at one end of its travel
    CCoord maxPos;   // ... and at the other
    CPoint offset;
    CPoint offsetHandle;
    int32_t style;
    bool dragging = false;
    CCoord grabY = 0;  // pointer y minus handle top at the press
};
