// A switch of iMaxPositions positions side by side; the background image holds subPixmaps frames
// of heightOfOneImage stacked top to bottom, and frame round(fraction x (subPixmaps - 1)) shows.
// A press (or drag) in position i of the width sets the value to i / (iMaxPositions - 1) of the
// range: 0, 0.5 and 1 for the left, middle and right third of a three-way switch. UI thread.
#pragma once

#include "toolkit/CControl.h"

class CHorizontalSwitch : public CControl {
public:
    CHorizontalSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                      CCoord heightOfOneImage, int32_t iMaxPositions, CBitmap* background,
                      const CPoint& offset = CPoint(0, 0));

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    int32_t onKeyDown(VstKeyCode& keyCode) override;

    int32_t getNumSubPixmaps() const { return subPixmaps; }
    CCoord getHeightOfOneImage() const { return heightOfOneImage; }
    // The frame of the background image that the current value shows.
    int32_t getSubPixmapIndex() const;

private:
    float valueOfPosition(int32_t position) const;

    int32_t subPixmaps;
    CCoord heightOfOneImage;
    int32_t maxPositions;
    CPoint offset;
    bool pressed = false;
};
