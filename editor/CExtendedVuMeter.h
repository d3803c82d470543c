// One band's LED column. The value's lower half (0 to 0.5) fills the column from the bottom; the
// upper half folds back: from a full column at 0.5 the lit part retreats toward the top, down to
// the top segment alone (reached at (2n - 1) / 2n and kept up to 1). Everything else (value,
// displayed value and its decrease step, idle repaint, images) is CVuMeter's. UI thread.
#pragma once

#include "toolkit/CVuMeter.h"

class CExtendedVuMeter : public CVuMeter {
public:
    CExtendedVuMeter(const CRect& size, CBitmap* onBitmap, CBitmap* offBitmap, int32_t nbLed,
                     int32_t style = kVertical)
        : CVuMeter(size, onBitmap, offBitmap, nbLed, style) {}
    ~CExtendedVuMeter() override = default;

protected:
    LitSpan litSpan(float shown) const override;
};
