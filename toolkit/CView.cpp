#include "toolkit/CView.h"

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"

CView::CView(const CRect& size) : size(size), mouseableArea(size) {}

CView::~CView() { setBackground(nullptr); }

void CView::draw(CDrawContext* context) {
    if (background) background->draw(context, size);
    setDirty(false);
}

CMouseEventResult CView::onMouseDown(CPoint&, const CButtonState&) { return kMouseEventNotHandled; }
CMouseEventResult CView::onMouseMoved(CPoint&, const CButtonState&) { return kMouseEventNotHandled; }
CMouseEventResult CView::onMouseUp(CPoint&, const CButtonState&) { return kMouseEventNotHandled; }
bool CView::onWheel(const CPoint&, const float&, const CButtonState&) { return false; }
int32_t CView::onKeyDown(VstKeyCode&) { return -1; }
int32_t CView::onKeyUp(VstKeyCode&) { return -1; }

void CView::invalid() { invalidRect(size); }

void CView::invalidRect(const CRect& area) {
    if (frame) frame->invalidRect(area);
}

void CView::setViewSize(const CRect& rect, bool invalidate) {
    if (invalidate) invalid();  // the old place shows the background again
    size = rect;
    mouseableArea = rect;
    if (invalidate) invalid();
}

void CView::setVisible(bool state) {
    if (visible == state) return;
    visible = state;
    invalid();
}

void CView::setBackground(CBitmap* bitmap) {
    if (bitmap == background) return;
    if (bitmap) bitmap->remember();
    if (background) background->forget();
    background = bitmap;
    setDirty(true);
}
