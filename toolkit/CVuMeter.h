// An LED meter drawn from two images: the on image (the view's background) where the bar is lit
// and the off image elsewhere. The displayed value is the old value: it follows a falling value
// by at most the decrease step per drawing and a rising one at once. It asks for the view idle
// and repaints itself there while the displayed value differs from the value. UI thread.
#pragma once

#include "toolkit/CControl.h"

class CVuMeter : public CControl {
public:
    CVuMeter(const CRect& size, CBitmap* onBitmap, CBitmap* offBitmap, int32_t nbLed,
             int32_t style = kVertical);
    ~CVuMeter() override;

    void draw(CDrawContext* context) override;
    void onIdle() override;
    void setViewSize(const CRect& rect, bool invalidate = true) override;
    // Leaves the displayed value alone: drawing alone moves it.
    void setDirty(bool state = true) override;

    CBitmap* getOnBitmap() const { return getBackground(); }
    CBitmap* getOffBitmap() const { return offBitmap; }
    void setDecreaseStepValue(float value) { decreaseValue = value; }
    float getDecreaseStepValue() const { return decreaseValue; }
    int32_t getNbLed() const { return nbLed; }
    int32_t getStyle() const { return style; }

protected:
    CBitmap* offBitmap;
    int32_t nbLed;
    int32_t style;
    float decreaseValue = 0.1f;
    CRect rectOn;
    CRect rectOff;
};
