// The cairo drawing back end (Linux): images in cairo image surfaces, the off-screen image an RGB24
// image surface with one cairo context for its whole life. The X11 frame shows the surface's
// memory directly. UI thread.
#pragma once

#include <cairo.h>

#include <vector>

#include "toolkit/IPlatformBitmap.h"
#include "toolkit/IPlatformOffscreen.h"

class CairoBitmap final : public IPlatformBitmap {
public:
    explicit CairoBitmap(cairo_surface_t* surface);  // takes the reference
    ~CairoBitmap() override { cairo_surface_destroy(surface); }
    CairoBitmap(const CairoBitmap&) = delete;
    CairoBitmap& operator=(const CairoBitmap&) = delete;

    int32_t getWidth() const override { return cairo_image_surface_get_width(surface); }
    int32_t getHeight() const override { return cairo_image_surface_get_height(surface); }
    uint32_t getPixel(int32_t x, int32_t y) const override;
    bool isOpaque() const override { return opaque; }
    cairo_surface_t* getSurface() const { return surface; }

private:
    cairo_surface_t* surface;
    bool opaque;
};

class CairoOffscreen final : public IPlatformOffscreen {
public:
    CairoOffscreen(int32_t width, int32_t height);
    ~CairoOffscreen() override;
    CairoOffscreen(const CairoOffscreen&) = delete;
    CairoOffscreen& operator=(const CairoOffscreen&) = delete;

    bool isValid() const { return cairo_status(cairo) == CAIRO_STATUS_SUCCESS; }
    cairo_surface_t* getSurface() const { return surface; }

    int32_t getWidth() const override { return width; }
    int32_t getHeight() const override { return height; }
    uint32_t* getPixels(int32_t& strideBytes) override;
    void markDirty() override { cairo_surface_mark_dirty(surface); }

    void setClip(const CRect& clip) override;
    void resetClip() override;
    void saveState() override { savedClips.push_back(clip); }  // grows once, then reuses its storage
    void restoreState() override;

    void fillRect(const CRect& rect, const CColor& color) override;
    void frameRect(const CRect& rect, const CColor& color, CCoord lineWidth) override;
    void drawBitmap(const IPlatformBitmap& bitmap, const CRect& destination, const CPoint& offset,
                    float alpha) override;
    void drawString(const char* utf8, const CRect& rect, const CFontDesc& font, const CColor& color,
                    CHoriTxtAlign align, bool antialias) override;
    CCoord getStringWidth(const char* utf8, const CFontDesc& font) override;

private:
    void setSource(const CColor& color);
    void selectFont(const CFontDesc& font);
    // The clip handed to cairo, when it has changed since: only the drawing that goes through cairo
    // needs it.
    void applyClip();
    // An opaque image at whole-pixel places within a whole-pixel clip: its rows copied, as cairo's
    // drawing would leave them. False when that does not apply.
    bool copyOpaque(const CairoBitmap& image, const CRect& destination, const CPoint& offset);

    int32_t width;
    int32_t height;
    cairo_surface_t* surface;
    cairo_t* cairo;
    CRect clip;                    // what drawing stays inside
    bool clipApplied = true;       // cairo's clip is clip
    std::vector<CRect> savedClips;
};
