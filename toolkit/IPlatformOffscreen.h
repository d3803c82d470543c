// The drawing back end: an off-screen image of opaque 32-bit pixels and the few operations the
// views draw with, in frame coordinates. toolkit/cairo/ implements it over a cairo image surface,
// toolkit/win32/ over a GDI memory context holding a DIB section. The frame's back buffer is one;
// tests draw views into one and read its pixels. UI thread.
#pragma once

#include <cstdint>
#include <memory>

#include "toolkit/CColor.h"
#include "toolkit/CFontDesc.h"
#include "toolkit/CRect.h"

class IPlatformBitmap;

enum CHoriTxtAlign : int32_t { kLeftText = 0, kCenterText, kRightText };

class IPlatformOffscreen {
public:
    // width x height pixels, all black; null when the system cannot make one.
    static std::unique_ptr<IPlatformOffscreen> create(int32_t width, int32_t height);
    virtual ~IPlatformOffscreen() = default;

    virtual int32_t getWidth() const = 0;
    virtual int32_t getHeight() const = 0;

    // The pixels as 0x00RRGGBB words (the top byte is not kept), row y at
    // pixels + y * strideBytes. Finishes the drawing done so far; after writing into them, call
    // markDirty before drawing again.
    virtual uint32_t* getPixels(int32_t& strideBytes) = 0;
    virtual void markDirty() = 0;

    // Drawing stays inside the clip rectangle; resetClip makes it the whole image.
    virtual void setClip(const CRect& clip) = 0;
    virtual void resetClip() = 0;
    // The clip as it is now, for a later restoreState; states nest.
    virtual void saveState() = 0;
    virtual void restoreState() = 0;

    virtual void fillRect(const CRect& rect, const CColor& color) = 0;
    // A line of lineWidth pixels along the inside of rect.
    virtual void frameRect(const CRect& rect, const CColor& color, CCoord lineWidth) = 0;
    // The image's pixels from offset on into destination, unscaled, blended over what is there
    // with the image's alpha times alpha (0 to 1).
    virtual void drawBitmap(const IPlatformBitmap& bitmap, const CRect& destination, const CPoint& offset,
                            float alpha) = 0;
    // One line of UTF-8 text, vertically centred in rect (ascent and descent), clipped to it.
    virtual void drawString(const char* utf8, const CRect& rect, const CFontDesc& font, const CColor& color,
                            CHoriTxtAlign align, bool antialias) = 0;
    virtual CCoord getStringWidth(const char* utf8, const CFontDesc& font) = 0;
};
