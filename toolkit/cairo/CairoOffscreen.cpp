#include "toolkit/cairo/CairoOffscreen.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct PngReader {
    const unsigned char* data;
    size_t size;
    size_t position;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (length > reader->size - reader->position) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data + reader->position, length);
    reader->position += length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::unique_ptr<IPlatformBitmap> IPlatformBitmap::createFromPng(const unsigned char* data, size_t size) {
    if (data == nullptr || size == 0) return nullptr;
    PngReader reader{data, size, 0};
    cairo_surface_t* decoded = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(decoded) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(decoded);  // an error surface is still an object to release
        return nullptr;
    }
    try {
        return std::make_unique<CairoBitmap>(decoded);
    } catch (...) {
        cairo_surface_destroy(decoded);  // no memory for the wrapper: the surface goes too
        throw;
    }
}

// An RGB24 image is opaque by its format; an ARGB32 one when every alpha is full.
CairoBitmap::CairoBitmap(cairo_surface_t* surface) : surface(surface), opaque(true) {
    if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32) return;
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; opaque && y < getHeight(); ++y)
        for (int x = 0; opaque && x < getWidth(); ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, data + y * stride + x * 4, 4);
            opaque = (pixel >> 24) == 0xFF;
        }
}

uint32_t CairoBitmap::getPixel(int32_t x, int32_t y) const {
    cairo_surface_flush(surface);
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    uint32_t pixel;
    std::memcpy(&pixel, row + x * 4, 4);
    // RGB24 leaves the top byte undefined: such an image is opaque.
    return cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32 ? pixel : pixel | 0xFF000000u;
}

std::unique_ptr<IPlatformOffscreen> IPlatformOffscreen::create(int32_t width, int32_t height) {
    if (width < 1 || height < 1) return nullptr;
    auto offscreen = std::make_unique<CairoOffscreen>(width, height);
    if (!offscreen->isValid()) return nullptr;
    return offscreen;
}

CairoOffscreen::CairoOffscreen(int32_t width, int32_t height)
    : width(width),
      height(height),
      surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)),
      cairo(cairo_create(surface)),
      clip(0, 0, width, height) {}

CairoOffscreen::~CairoOffscreen() {
    cairo_destroy(cairo);
    cairo_surface_destroy(surface);
}

uint32_t* CairoOffscreen::getPixels(int32_t& strideBytes) {
    cairo_surface_flush(surface);
    strideBytes = cairo_image_surface_get_stride(surface);
    return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface));
}

void CairoOffscreen::setSource(const CColor& color) {
    cairo_set_source_rgba(cairo, color.red / 255.0, color.green / 255.0, color.blue / 255.0, color.alpha / 255.0);
}

void CairoOffscreen::setClip(const CRect& area) {
    clip = area;
    clipApplied = false;
}

void CairoOffscreen::resetClip() { setClip(CRect(0, 0, width, height)); }

void CairoOffscreen::restoreState() {
    if (savedClips.empty()) return;
    setClip(savedClips.back());
    savedClips.pop_back();
}

void CairoOffscreen::applyClip() {
    if (clipApplied) return;
    cairo_reset_clip(cairo);
    cairo_rectangle(cairo, clip.left, clip.top, clip.getWidth(), clip.getHeight());
    cairo_clip(cairo);
    clipApplied = true;
}

void CairoOffscreen::fillRect(const CRect& rect, const CColor& color) {
    applyClip();
    setSource(color);
    cairo_rectangle(cairo, rect.left, rect.top, rect.getWidth(), rect.getHeight());
    cairo_fill(cairo);
}

void CairoOffscreen::frameRect(const CRect& rect, const CColor& color, CCoord lineWidth) {
    applyClip();
    setSource(color);
    cairo_set_line_width(cairo, lineWidth);
    const double inset = lineWidth / 2;  // the line stays inside the rectangle
    cairo_rectangle(cairo, rect.left + inset, rect.top + inset, rect.getWidth() - lineWidth,
                    rect.getHeight() - lineWidth);
    cairo_stroke(cairo);
}

bool CairoOffscreen::copyOpaque(const CairoBitmap& image, const CRect& destination, const CPoint& offset) {
    auto whole = [](CCoord x) { return x == std::floor(x) && std::fabs(x) < 1e9; };
    if (!image.isOpaque() || !whole(destination.left) || !whole(destination.top) || !whole(destination.right) ||
        !whole(destination.bottom) || !whole(offset.x) || !whole(offset.y) || !whole(clip.left) ||
        !whole(clip.top) || !whole(clip.right) || !whole(clip.bottom))
        return false;
    // Image pixel (offset.x, offset.y) lands on the destination's top-left corner.
    const auto imageLeft = static_cast<int64_t>(destination.left - offset.x);
    const auto imageTop = static_cast<int64_t>(destination.top - offset.y);
    const int64_t left = std::max({static_cast<int64_t>(destination.left), static_cast<int64_t>(clip.left),
                                   imageLeft, int64_t{0}});
    const int64_t top = std::max({static_cast<int64_t>(destination.top), static_cast<int64_t>(clip.top),
                                  imageTop, int64_t{0}});
    const int64_t right = std::min({static_cast<int64_t>(destination.right), static_cast<int64_t>(clip.right),
                                    imageLeft + image.getWidth(), int64_t{width}});
    const int64_t bottom = std::min({static_cast<int64_t>(destination.bottom), static_cast<int64_t>(clip.bottom),
                                     imageTop + image.getHeight(), int64_t{height}});
    if (right <= left || bottom <= top) return true;
    cairo_surface_flush(surface);
    const unsigned char* source = cairo_image_surface_get_data(image.getSurface());
    const int sourceStride = cairo_image_surface_get_stride(image.getSurface());
    unsigned char* target = cairo_image_surface_get_data(surface);
    const int targetStride = cairo_image_surface_get_stride(surface);
    for (int64_t y = top; y < bottom; ++y)
        std::memcpy(target + y * targetStride + left * 4,
                    source + (y - imageTop) * sourceStride + (left - imageLeft) * 4,
                    static_cast<size_t>(right - left) * 4);
    cairo_surface_mark_dirty_rectangle(surface, static_cast<int>(left), static_cast<int>(top),
                                       static_cast<int>(right - left), static_cast<int>(bottom - top));
    return true;
}

void CairoOffscreen::drawBitmap(const IPlatformBitmap& bitmap, const CRect& destination, const CPoint& offset,
                                float alpha) {
    const auto& image = static_cast<const CairoBitmap&>(bitmap);
    if (alpha >= 1.0f && copyOpaque(image, destination, offset)) return;
    applyClip();
    cairo_save(cairo);
    cairo_rectangle(cairo, destination.left, destination.top, destination.getWidth(), destination.getHeight());
    cairo_clip(cairo);
    // Image pixel (offset.x, offset.y) lands on the destination's top-left corner.
    cairo_set_source_surface(cairo, image.getSurface(), destination.left - offset.x,
                             destination.top - offset.y);
    cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(cairo_get_source(cairo), CAIRO_EXTEND_NONE);
    if (alpha >= 1.0f)
        cairo_paint(cairo);
    else
        cairo_paint_with_alpha(cairo, alpha);
    cairo_restore(cairo);
}

// The family resolves through fontconfig ("Arial" becomes Liberation Sans where Arial is not installed).
void CairoOffscreen::selectFont(const CFontDesc& font) {
    cairo_select_font_face(cairo, font.getName(),
                           (font.getStyle() & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           (font.getStyle() & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cairo, font.getSize());
}

CCoord CairoOffscreen::getStringWidth(const char* utf8, const CFontDesc& font) {
    selectFont(font);  // measures only: the clip does not matter
    cairo_text_extents_t extents{};
    cairo_text_extents(cairo, utf8, &extents);
    return extents.x_advance;
}

void CairoOffscreen::drawString(const char* utf8, const CRect& rect, const CFontDesc& font, const CColor& color,
                                CHoriTxtAlign align, bool antialias) {
    applyClip();
    cairo_save(cairo);
    cairo_rectangle(cairo, rect.left, rect.top, rect.getWidth(), rect.getHeight());
    cairo_clip(cairo);
    selectFont(font);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_set_font_options(cairo, options);
    cairo_font_options_destroy(options);
    cairo_font_extents_t fontExtents{};
    cairo_font_extents(cairo, &fontExtents);
    cairo_text_extents_t extents{};
    cairo_text_extents(cairo, utf8, &extents);
    double x = rect.left;
    if (align == kCenterText)
        x = rect.left + (rect.getWidth() - extents.x_advance) / 2;
    else if (align == kRightText)
        x = rect.right - extents.x_advance;
    // Baseline so that ascent and descent sit centred in the rectangle.
    const double y = rect.top + (rect.getHeight() + fontExtents.ascent - fontExtents.descent) / 2;
    setSource(color);
    cairo_move_to(cairo, x, y);
    cairo_show_text(cairo, utf8);
    cairo_restore(cairo);
}
