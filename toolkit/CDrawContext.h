// Drawing in frame coordinates over a cairo context: images, filled and outlined rectangles,
// centred text. The context does not own the cairo context. UI thread.
#pragma once

#include <cairo.h>

#include "toolkit/CColor.h"
#include "toolkit/CFontDesc.h"
#include "toolkit/CRect.h"

class CBitmap;

enum CHoriTxtAlign : int32_t { kLeftText = 0, kCenterText, kRightText };
enum CDrawStyle : int32_t { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };

class CDrawContext {
public:
    explicit CDrawContext(cairo_t* cairo);
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
    void saveGlobalState();
    void restoreGlobalState();

    cairo_t* getCairo() const { return cairo; }

private:
    void setSource(const CColor& color);
    void selectFont();

    cairo_t* cairo;
    CRect clipRect;
    CColor fillColor = kWhiteCColor;
    CColor frameColor = kBlackCColor;
    CColor fontColor = kBlackCColor;
    CFontRef font = kNormalFont;
    CCoord lineWidth = 1;
};
