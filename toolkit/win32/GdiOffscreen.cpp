#include "toolkit/win32/GdiOffscreen.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>

namespace {

int toInt(CCoord value) { return static_cast<int>(std::lround(value)); }

COLORREF toColorRef(const CColor& color) { return RGB(color.red, color.green, color.blue); }

// UTF-8 to UTF-16; an invalid sequence becomes U+FFFD.
std::wstring toUtf16(const char* utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    if (length <= 1) return {};
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), length);
    text.resize(static_cast<size_t>(length - 1));
    return text;
}

}  // namespace

HBITMAP createDibSection(int32_t width, int32_t height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down: row 0 first, as the toolkit counts
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
    if (bitmap == nullptr || *bits == nullptr) {
        if (bitmap) DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}

std::unique_ptr<IPlatformOffscreen> IPlatformOffscreen::create(int32_t width, int32_t height) {
    if (width < 1 || height < 1) return nullptr;
    void* bits = nullptr;
    HBITMAP bitmap = createDibSection(width, height, &bits);  // zeroed: black
    if (bitmap == nullptr) return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) {
        DeleteObject(bitmap);
        return nullptr;
    }
    try {
        return std::make_unique<GdiOffscreen>(dc, bitmap, static_cast<uint32_t*>(bits), width, height);
    } catch (...) {  // no memory for the object: the GDI objects go back
        DeleteDC(dc);
        DeleteObject(bitmap);
        throw;
    }
}

GdiOffscreen::GdiOffscreen(HDC dc, HBITMAP bitmap, uint32_t* bits, int32_t width, int32_t height)
    : dc(dc), bitmap(bitmap), previousBitmap(SelectObject(dc, bitmap)), bits(bits), width(width), height(height) {
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
}

GdiOffscreen::~GdiOffscreen() {
    for (const Font& f : fonts)
        if (f.handle) DeleteObject(f.handle);
    SelectObject(dc, previousBitmap);
    DeleteDC(dc);
    DeleteObject(bitmap);
    if (colourPixel) DeleteObject(colourPixel);
}

uint32_t* GdiOffscreen::getPixels(int32_t& strideBytes) {
    GdiFlush();  // GDI may still hold drawing in its batch
    strideBytes = width * 4;
    return bits;
}

RECT GdiOffscreen::toRect(const CRect& rect) {
    return RECT{toInt(rect.left), toInt(rect.top), toInt(rect.right), toInt(rect.bottom)};
}

void GdiOffscreen::setClip(const CRect& clip) {
    SelectClipRgn(dc, nullptr);
    const RECT r = toRect(clip);
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
}

void GdiOffscreen::fillRect(const CRect& rect, const CColor& color) {
    const RECT r = toRect(rect);
    if (r.right <= r.left || r.bottom <= r.top) return;
    if (color.alpha == 255) {
        HBRUSH brush = CreateSolidBrush(toColorRef(color));
        if (brush == nullptr) return;
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        return;
    }
    if (colourPixel == nullptr) {
        void* pixelBits = nullptr;
        colourPixel = createDibSection(1, 1, &pixelBits);
        if (colourPixel == nullptr) return;
        colourPixelBits = static_cast<uint32_t*>(pixelBits);
    }
    GdiFlush();
    const uint32_t a = color.alpha;
    auto premultiplied = [a](uint32_t c) { return (c * a + 127) / 255; };
    *colourPixelBits = (a << 24) | (premultiplied(color.red) << 16) | (premultiplied(color.green) << 8) |
                       premultiplied(color.blue);
    HDC source = CreateCompatibleDC(dc);
    if (source == nullptr) return;
    HGDIOBJ previous = SelectObject(source, colourPixel);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, source, 0, 0, 1, 1, blend);
    SelectObject(source, previous);
    DeleteDC(source);
}

void GdiOffscreen::frameRect(const CRect& rect, const CColor& color, CCoord lineWidth) {
    const CCoord w = std::fmin(lineWidth, std::fmin(rect.getWidth(), rect.getHeight()) / 2);
    if (w <= 0) return;
    fillRect(CRect(rect.left, rect.top, rect.right, rect.top + w), color);
    fillRect(CRect(rect.left, rect.bottom - w, rect.right, rect.bottom), color);
    fillRect(CRect(rect.left, rect.top + w, rect.left + w, rect.bottom - w), color);
    fillRect(CRect(rect.right - w, rect.top + w, rect.right, rect.bottom - w), color);
}

// Only the part of the destination that the image covers is drawn (AlphaBlend refuses a source
// rectangle outside the image, and nothing beyond the image is to be drawn anyway).
void GdiOffscreen::drawBitmap(const IPlatformBitmap& image, const CRect& destination, const CPoint& offset,
                              float alpha) {
    const auto& gdiImage = static_cast<const GdiBitmap&>(image);
    const RECT d = toRect(destination);
    const int offsetX = toInt(offset.x);
    const int offsetY = toInt(offset.y);
    const int sourceLeft = std::max(offsetX, 0);
    const int sourceTop = std::max(offsetY, 0);
    const int sourceRight = std::min(offsetX + static_cast<int>(d.right - d.left), gdiImage.getWidth());
    const int sourceBottom = std::min(offsetY + static_cast<int>(d.bottom - d.top), gdiImage.getHeight());
    if (sourceRight <= sourceLeft || sourceBottom <= sourceTop || alpha <= 0.0f) return;
    const int left = d.left + (sourceLeft - offsetX);
    const int top = d.top + (sourceTop - offsetY);
    const int w = sourceRight - sourceLeft;
    const int h = sourceBottom - sourceTop;

    HDC source = CreateCompatibleDC(dc);
    if (source == nullptr) return;
    HGDIOBJ previous = SelectObject(source, gdiImage.getHandle());
    if (gdiImage.isOpaque() && alpha >= 1.0f) {
        BitBlt(dc, left, top, w, h, source, sourceLeft, sourceTop, SRCCOPY);
    } else {
        const auto constantAlpha = static_cast<BYTE>(std::lround(std::fmin(alpha, 1.0f) * 255.0f));
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, constantAlpha, AC_SRC_ALPHA};
        AlphaBlend(dc, left, top, w, h, source, sourceLeft, sourceTop, w, h, blend);
    }
    SelectObject(source, previous);
    DeleteDC(source);
}

// The font's size is its em height in pixels, as cairo takes it: a negative GDI height. Null
// when GDI cannot make it.
HFONT GdiOffscreen::fontFor(const CFontDesc& desc, bool antialias) {
    for (const Font& f : fonts)
        if (f.handle && f.antialias == antialias && f.desc.getSize() == desc.getSize() &&
            f.desc.getStyle() == desc.getStyle() && std::strcmp(f.desc.getName(), desc.getName()) == 0)
            return f.handle;
    const std::wstring name = toUtf16(desc.getName());
    LOGFONTW logFont{};
    logFont.lfHeight = -toInt(desc.getSize());
    logFont.lfWeight = (desc.getStyle() & kBoldFace) ? FW_BOLD : FW_NORMAL;
    logFont.lfItalic = (desc.getStyle() & kItalicFace) ? TRUE : FALSE;
    logFont.lfCharSet = DEFAULT_CHARSET;
    logFont.lfOutPrecision = OUT_TT_PRECIS;
    logFont.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    logFont.lfQuality = antialias ? ANTIALIASED_QUALITY : NONANTIALIASED_QUALITY;
    logFont.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    wcsncpy(logFont.lfFaceName, name.c_str(), LF_FACESIZE - 1);
    HFONT made = CreateFontIndirectW(&logFont);
    if (made == nullptr) return nullptr;
    Font& slot = fonts[nextFont];
    nextFont = (nextFont + 1) % std::size(fonts);
    if (slot.handle) DeleteObject(slot.handle);
    slot = Font{desc, antialias, made};
    return made;
}

CCoord GdiOffscreen::getStringWidth(const char* utf8, const CFontDesc& desc) {
    const std::wstring text = toUtf16(utf8);
    HFONT f = fontFor(desc, true);
    if (text.empty() || f == nullptr) return 0;
    HGDIOBJ previous = SelectObject(dc, f);
    SIZE extent{};
    const BOOL measured = GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, previous);
    return measured ? extent.cx : 0;
}

void GdiOffscreen::drawString(const char* utf8, const CRect& rect, const CFontDesc& desc, const CColor& color,
                              CHoriTxtAlign align, bool antialias) {
    const std::wstring text = toUtf16(utf8);
    HFONT f = fontFor(desc, antialias);
    if (text.empty() || f == nullptr) return;
    HGDIOBJ previous = SelectObject(dc, f);
    TEXTMETRICW metrics{};
    SIZE extent{};
    if (GetTextMetricsW(dc, &metrics) &&
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent)) {
        const RECT r = toRect(rect);
        int x = r.left;
        if (align == kCenterText)
            x = r.left + ((r.right - r.left) - extent.cx) / 2;
        else if (align == kRightText)
            x = r.right - extent.cx;
        // Baseline so that ascent and descent sit centred in the rectangle.
        const int y = r.top + ((r.bottom - r.top) + metrics.tmAscent - metrics.tmDescent) / 2;
        const COLORREF previousColour = SetTextColor(dc, toColorRef(color));
        ExtTextOutW(dc, x, y, ETO_CLIPPED, &r, text.c_str(), static_cast<UINT>(text.size()), nullptr);
        SetTextColor(dc, previousColour);
    }
    SelectObject(dc, previous);
}
