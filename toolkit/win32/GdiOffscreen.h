// The GDI drawing back end (Windows): images as premultiplied BGRA DIB sections (decoded by WIC),
// the off-screen image a 32-bit DIB section selected into a memory device context of its own,
// which the Win32 frame copies to its window. Rectangles and text with GDI ("Arial", UTF-8 text
// turned into UTF-16), images with BitBlt or AlphaBlend. Every GDI object is released with the
// object that made it. UI thread.
#pragma once

#include <windows.h>

#include <cstddef>

#include "toolkit/IPlatformBitmap.h"
#include "toolkit/IPlatformOffscreen.h"

class GdiBitmap final : public IPlatformBitmap {
public:
    // Takes the DIB section; pixels are its bits, top-down, width x 4 bytes per row.
    GdiBitmap(HBITMAP bitmap, const uint32_t* pixels, int32_t width, int32_t height, bool opaque)
        : bitmap(bitmap), pixels(pixels), width(width), height(height), opaque(opaque) {}
    ~GdiBitmap() override { DeleteObject(bitmap); }
    GdiBitmap(const GdiBitmap&) = delete;
    GdiBitmap& operator=(const GdiBitmap&) = delete;

    int32_t getWidth() const override { return width; }
    int32_t getHeight() const override { return height; }
    uint32_t getPixel(int32_t x, int32_t y) const override { return pixels[y * width + x]; }
    HBITMAP getHandle() const { return bitmap; }
    bool isOpaque() const override { return opaque; }  // copied, not blended

private:
    HBITMAP bitmap;
    const uint32_t* pixels;
    int32_t width;
    int32_t height;
    bool opaque;
};

// A top-down 32-bit DIB section; bits receives its memory. Null when GDI has none to give.
HBITMAP createDibSection(int32_t width, int32_t height, void** bits);

class GdiOffscreen final : public IPlatformOffscreen {
public:
    GdiOffscreen(HDC dc, HBITMAP bitmap, uint32_t* bits, int32_t width, int32_t height);
    ~GdiOffscreen() override;
    GdiOffscreen(const GdiOffscreen&) = delete;
    GdiOffscreen& operator=(const GdiOffscreen&) = delete;

    HDC getDC() const { return dc; }

    int32_t getWidth() const override { return width; }
    int32_t getHeight() const override { return height; }
    uint32_t* getPixels(int32_t& strideBytes) override;
    void markDirty() override {}

    void setClip(const CRect& clip) override;
    void resetClip() override { SelectClipRgn(dc, nullptr); }
    void saveState() override { SaveDC(dc); }
    void restoreState() override { RestoreDC(dc, -1); }

    void fillRect(const CRect& rect, const CColor& color) override;
    void frameRect(const CRect& rect, const CColor& color, CCoord lineWidth) override;
    void drawBitmap(const IPlatformBitmap& bitmap, const CRect& destination, const CPoint& offset,
                    float alpha) override;
    void drawString(const char* utf8, const CRect& rect, const CFontDesc& font, const CColor& color,
                    CHoriTxtAlign align, bool antialias) override;
    CCoord getStringWidth(const char* utf8, const CFontDesc& font) override;

private:
    HFONT fontFor(const CFontDesc& font, bool antialias);
    static RECT toRect(const CRect& rect);

    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previousBitmap;
    uint32_t* bits;
    int32_t width;
    int32_t height;
    // Fonts made so far, kept for the next text in them. A font is selected into the context only
    // while one call draws or measures with it, so no saved state of the context holds one.
    struct Font {
        CFontDesc desc{"", 0};
        bool antialias = true;
        HFONT handle = nullptr;
    };
    Font fonts[4];
    size_t nextFont = 0;  // the slot to reuse when all are taken
    // A 1 x 1 premultiplied pixel, stretched by AlphaBlend to fill with a translucent colour.
    HBITMAP colourPixel = nullptr;
    uint32_t* colourPixelBits = nullptr;
};
