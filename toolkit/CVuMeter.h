// An LED meter drawn from two images: the on image (the view's background) where the bar is lit
// and the off image elsewhere. The displayed value is the old value: it follows a falling value
// by at most the decrease step per drawing and a rising one at once. It asks for the view idle
// and repaints itself there while the displayed value differs from the value: only the part of
// the column whose LEDs change, so a meter that moves by one LED redraws one LED. UI thread.
#pragma once

#include "toolkit/CControl.h"

class CVuMeter : public CControl {
public:
    CVuMeter(const CRect& size, CBitmap* onBitmap, CBitmap* offBitmap, int32_t nbLed,
             int32_t style = kVertical);
    ~CVuMeter() override;

    void draw(CDrawContext* context) override;
    void onIdle() override;
    // While only the value moved: the band between the lit part drawn and the lit part to draw.
    CRect dirtyArea() const override;
    // With both images opaque, the part of the view they both reach.
    CRect opaqueArea() const override;
    // Leaves the displayed value alone: drawing alone moves it.
    void setDirty(bool state = true) override;

    CBitmap* getOnBitmap() const { return getBackground(); }
    CBitmap* getOffBitmap() const { return offBitmap; }
    void setDecreaseStepValue(float value) { decreaseValue = value; }
    float getDecreaseStepValue() const { return decreaseValue; }
    int32_t getNbLed() const { return nbLed; }
    int32_t getStyle() const { return style; }

protected:
    // The lit part of the column for a displayed value, in pixels from the view's top (vertical)
    // or left (horizontal): [from, to). The plain meter is lit from the bottom or the left.
    struct LitSpan {
        int32_t from = 0;
        int32_t to = 0;
    };
    virtual LitSpan litSpan(float shown) const;
    // The displayed value the next drawing shows: the value, or the old value less the step.
    float nextShown() const;
    // Where two lit parts differ, in view coordinates (covering, perhaps a little more); empty when
    // they light the same pixels. Across the column, only as far as either image reaches: the
    // rest of the view is never drawn by the meter.
    CRect changedArea(const LitSpan& before, const LitSpan& after) const;
    // The on image over the lit part, the off image over the rest, each at its own place.
    void drawSpan(CDrawContext* context, const LitSpan& lit);

    CBitmap* offBitmap;
    int32_t nbLed;
    int32_t style;
    float decreaseValue = 0.1f;
};
