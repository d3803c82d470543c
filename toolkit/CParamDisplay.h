// Shows its value as text: a back colour (none when its alpha is 0), a frame line (likewise) and
// the text from the value-to-text procedure (without one, "%2.2f"), centred. Takes no input.
// UI thread.
#pragma once

#include "toolkit/CColor.h"
#include "toolkit/CControl.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFontDesc.h"

// Writes the text for value into utf8String (256 bytes, terminated); false leaves it empty.
using CParamDisplayValueToStringProc = bool (*)(float value, char utf8String[256], void* userData);

class CParamDisplay : public CControl {
public:
    // style: accepted for the toolkit's signature; no style changes anything here.
    explicit CParamDisplay(const CRect& size, CBitmap* background = nullptr, int32_t style = 0);

    void draw(CDrawContext* context) override;

    void setFont(CFontRef font);
    CFontRef getFont() const { return font; }
    void setFontColor(const CColor& color);
    const CColor& getFontColor() const { return fontColor; }
    void setBackColor(const CColor& color);
    const CColor& getBackColor() const { return backColor; }
    void setFrameColor(const CColor& color);
    const CColor& getFrameColor() const { return frameColor; }
    void setHoriAlign(CHoriTxtAlign align);
    void setValueToStringProc(CParamDisplayValueToStringProc proc, void* userData = nullptr);

    // The text the display shows for its current value.
    void getText(char utf8String[256]) const;

private:
    CFontRef font = kNormalFont;
    CColor fontColor = kWhiteCColor;
    CColor backColor = kBlackCColor;
    CColor frameColor = kBlackCColor;
    CHoriTxtAlign horiAlign = kCenterText;
    CParamDisplayValueToStringProc valueToString = nullptr;
    void* valueToStringUserData = nullptr;
};
