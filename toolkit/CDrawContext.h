// Drawing in frame coordinates: images, filled and outlined rectangles, centred text. The
// context keeps the colours, font, line width and clip, and draws through the back end's
// off-screen image (IPlatformOffscreen), which it does not own. Whatever it changes of the
// off-screen image's state is put back when it goes. UI thread.
#pragma once

#include "toolkit/CColor.h"
#include "toolkit/CFontDesc.h"
#include "toolkit/CRect.h"
#include "toolkit/IPlatformOffscreen.h"

class CBitmap;

enum CDrawStyle : int32_t { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };

class CDrawContext {
public:
    explicit CDrawContext(IPlatformOffscreen* offscreen);
    ~CDrawContext();
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    // Draws the image's pixels from offset on into destination, unscaled; an empty
    // destination or an unloaded image draws nothing.
    void drawBitmap(CBitmap* bitmap, const CRect& destination, const CPoint& offset = CPoint(0, 0),
                    float alpha = 1.0f);

    void setFillColor(const CColor& color) { fillColor = color; }
    void setFrameColor(const CColor& color) { frameColor = color; }
    void setFontColor(const CColor& color) { fontColor = color; }
    void setFont(CFontRef font) { this->font = font; }
    void setLineWidth(CCoord width) { lineWidth = width; }
    CFontRef getFont() const { return font; }

    void fillRect(const CRect& rect) { drawRect(rect, kDrawFilled); }
    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
    // One line of UTF-8 text in the current font and font colour, vertically centred in rect.
    void drawString(const char* utf8, const CRect& rect, CHoriTxtAlign align = kCenterText,
                    bool antialias = true);
    CCoord getStringWidth(const char* utf8);

    // Later drawing stays inside clip; resetClipRect lifts it.
    void setClipRect(const CRect& clip);
    const CRect& getClipRect() const { return clipRect; }
    void resetClipRect();

    IPlatformOffscreen* getOffscreen() const { return offscreen; }

private:
    const CFontDesc& currentFont() const { return font ? *font : *kNormalFont; }

    IPlatformOffscreen* offscreen;
    CRect clipRect;
    CColor fillColor = kWhiteCColor;
    CColor frameColor = kBlackCColor;
    CColor fontColor = kBlackCColor;
    CFontRef font = kNormalFont;
    CCoord lineWidth = 1;
};
