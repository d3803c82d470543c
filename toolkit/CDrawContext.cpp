#include "toolkit/CDrawContext.h"

#include "toolkit/CBitmap.h"

CDrawContext::CDrawContext(cairo_t* cairo) : cairo(cairo) {
    cairo_save(cairo);
    resetClipRect();
}

CDrawContext::~CDrawContext() { cairo_restore(cairo); }

void CDrawContext::setSource(const CColor& color) {
    cairo_set_source_rgba(cairo, color.red / 255.0, color.green / 255.0, color.blue / 255.0, color.alpha / 255.0);
}

void CDrawContext::drawBitmap(CBitmap* bitmap, const CRect& destination, const CPoint& offset, float alpha) {
    if (bitmap == nullptr || bitmap->getSurface() == nullptr || destination.isEmpty()) return;
    cairo_save(cairo);
    cairo_rectangle(cairo, destination.left, destination.top, destination.getWidth(), destination.getHeight());
    cairo_clip(cairo);
    // Image pixel (offset.x, offset.y) lands on the destination's top-left corner.
    cairo_set_source_surface(cairo, bitmap->getSurface(), destination.left - offset.x, destination.top - offset.y);
    cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_NEAREST);
    cairo_pattern_set_extend(cairo_get_source(cairo), CAIRO_EXTEND_NONE);
    if (alpha >= 1.0f)
        cairo_paint(cairo);
    else
        cairo_paint_with_alpha(cairo, alpha);
    cairo_restore(cairo);
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
    if (rect.isEmpty()) return;
    if (style != kDrawStroked && fillColor.alpha != 0) {
        setSource(fillColor);
        cairo_rectangle(cairo, rect.left, rect.top, rect.getWidth(), rect.getHeight());
        cairo_fill(cairo);
    }
    if (style != kDrawFilled && frameColor.alpha != 0) {
        setSource(frameColor);
        cairo_set_line_width(cairo, lineWidth);
        const double inset = lineWidth / 2;  // the line stays inside the rectangle
        cairo_rectangle(cairo, rect.left + inset, rect.top + inset, rect.getWidth() - lineWidth,
                        rect.getHeight() - lineWidth);
        cairo_stroke(cairo);
    }
}

void CDrawContext::selectFont() {
    const CFontRef f = font ? font : kNormalFont;
    cairo_select_font_face(cairo, f->getName(),
                           (f->getStyle() & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           (f->getStyle() & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cairo, f->getSize());
}

CCoord CDrawContext::getStringWidth(const char* utf8) {
    if (utf8 == nullptr) return 0;
    selectFont();
    cairo_text_extents_t extents{};
    cairo_text_extents(cairo, utf8, &extents);
    return extents.x_advance;
}

void CDrawContext::drawString(const char* utf8, const CRect& rect, CHoriTxtAlign align, bool antialias) {
    if (utf8 == nullptr || *utf8 == '\0' || fontColor.alpha == 0) return;
    cairo_save(cairo);
    cairo_rectangle(cairo, rect.left, rect.top, rect.getWidth(), rect.getHeight());
    cairo_clip(cairo);
    selectFont();
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
    setSource(fontColor);
    cairo_move_to(cairo, x, y);
    cairo_show_text(cairo, utf8);
    cairo_restore(cairo);
}

void CDrawContext::setClipRect(const CRect& clip) {
    clipRect = clip;
    cairo_reset_clip(cairo);
    cairo_rectangle(cairo, clip.left, clip.top, clip.getWidth(), clip.getHeight());
    cairo_clip(cairo);
}

void CDrawContext::resetClipRect() {
    cairo_reset_clip(cairo);
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    cairo_clip_extents(cairo, &x1, &y1, &x2, &y2);
    clipRect = CRect(x1, y1, x2, y2);
}

void CDrawContext::saveGlobalState() { cairo_save(cairo); }

void CDrawContext::restoreGlobalState() { cairo_restore(cairo); }
