#include "toolkit/CDrawContext.h"

#include "toolkit/CBitmap.h"
#include "toolkit/IPlatformBitmap.h"

CDrawContext::CDrawContext(IPlatformOffscreen* offscreen) : offscreen(offscreen) {
    offscreen->saveState();
    resetClipRect();
}

CDrawContext::~CDrawContext() { offscreen->restoreState(); }

void CDrawContext::drawBitmap(CBitmap* bitmap, const CRect& destination, const CPoint& offset, float alpha) {
    if (bitmap == nullptr || bitmap->getPlatformBitmap() == nullptr || destination.isEmpty()) return;
    offscreen->drawBitmap(*bitmap->getPlatformBitmap(), destination, offset, alpha);
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
    if (rect.isEmpty()) return;
    if (style != kDrawStroked && fillColor.alpha != 0) offscreen->fillRect(rect, fillColor);
    if (style != kDrawFilled && frameColor.alpha != 0) offscreen->frameRect(rect, frameColor, lineWidth);
}

CCoord CDrawContext::getStringWidth(const char* utf8) {
    return utf8 == nullptr ? 0 : offscreen->getStringWidth(utf8, currentFont());
}

void CDrawContext::drawString(const char* utf8, const CRect& rect, CHoriTxtAlign align, bool antialias) {
    if (utf8 == nullptr || *utf8 == '\0' || fontColor.alpha == 0) return;
    offscreen->drawString(utf8, rect, currentFont(), fontColor, align, antialias);
}

void CDrawContext::setClipRect(const CRect& clip) {
    clipRect = clip;
    offscreen->setClip(clip);
}

void CDrawContext::resetClipRect() {
    offscreen->resetClip();
    clipRect = CRect(0, 0, offscreen->getWidth(), offscreen->getHeight());
}
