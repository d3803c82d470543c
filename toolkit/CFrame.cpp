#include "toolkit/CFrame.h"

#include <algorithm>

#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/VSTGUIEditorInterface.h"

CFrame::CFrame(const CRect& size, void* systemWindow, VSTGUIEditorInterface* editor)
    : CView(size), editor(editor) {
    platformFrame = IPlatformFrame::create(systemWindow, size, this);
    frame = this;
    setDirty(true);
}

CFrame::~CFrame() {
    removeAll();
    platformFrame.reset();
}

bool CFrame::addView(CView* view) {
    if (view == nullptr) return false;
    views.push_back(view);
    view->attached(this);
    view->invalid();
    return true;
}

void CFrame::removeAll() {
    focusView = nullptr;
    mouseDownView = nullptr;
    std::vector<CView*> old;
    old.swap(views);
    for (CView* view : old) {
        view->removed();
        view->forget();
    }
}

CView* CFrame::getView(int32_t index) const {
    return index >= 0 && index < getNbViews() ? views[static_cast<size_t>(index)] : nullptr;
}

void CFrame::setBackground(CBitmap* bitmap) {
    CView::setBackground(bitmap);
    invalidRect(size);
}

namespace {

bool holds(const CRect& outer, const CRect& inner) {
    return !outer.isEmpty() && outer.left <= inner.left && outer.top <= inner.top && outer.right >= inner.right &&
           outer.bottom >= inner.bottom;
}

}  // namespace

// An area inside one already waiting adds nothing; one that holds others replaces them.
void CFrame::invalidRect(const CRect& rect) {
    if (rect.isEmpty()) return;
    for (const CRect& waiting : invalidRects)
        if (holds(waiting, rect)) return;
    std::erase_if(invalidRects, [&](const CRect& waiting) { return holds(rect, waiting); });
    invalidRects.push_back(rect);
}

// The redraw first: on X11 it leaves with the event check's write, so an idle talks to the server
// once. What the events change is drawn and sent at once.
void CFrame::idle() {
    if (!platformFrame) return;
    viewIdleAndRedraw();
    if (platformFrame->handlePendingEvents()) {
        viewIdleAndRedraw();
        platformFrame->flush();
    }
}

void CFrame::viewIdleAndRedraw() {
    const uint32_t now = lumetra::tickCount();
    if (!viewIdleStarted || now - lastViewIdle >= kIdleRateMs) {  // unsigned: survives the wrap
        viewIdleStarted = true;
        lastViewIdle = now;
        for (size_t i = 0; i < views.size(); ++i)
            if (views[i]->wantsIdle()) views[i]->onIdle();
    }

    if (CView::isDirty()) invalidRect(CRect(0, 0, getWidth(), getHeight()));
    for (CView* view : views)
        if (view->isVisible() && view->isDirty()) invalidRect(view->dirtyArea());
    if (invalidRects.empty()) return;
    IPlatformOffscreen* backBuffer = platformFrame->getBackBuffer();
    if (backBuffer == nullptr) return;
    drawAreas.swap(invalidRects);  // both keep their storage: no allocation per idle
    invalidRects.clear();
    for (const CRect& area : drawAreas) redraw(*backBuffer, area);
    platformFrame->show(drawAreas.data(), drawAreas.size());
    drawAreas.clear();
    CView::setDirty(false);
}

void CFrame::paintRect(const CRect& area) {
    if (!platformFrame || platformFrame->getBackBuffer() == nullptr) return;
    redraw(*platformFrame->getBackBuffer(), area);
    platformFrame->show(&area, 1);
    platformFrame->flush();
}

void CFrame::redraw(IPlatformOffscreen& backBuffer, const CRect& area) {
    CDrawContext context(&backBuffer);
    CRect clip(area);
    clip.bound(CRect(0, 0, getWidth(), getHeight()));
    if (clip.isEmpty()) return;
    context.setClipRect(clip);
    draw(&context);
}

// Inside a view's opaque area (a meter's LEDs) what lies below is hidden: the drawing starts at
// the topmost view whose opaque area holds the whole clip. A dirty view below it still draws, so
// that it is clean again; the view above covers what it draws.
void CFrame::draw(CDrawContext* context) {
    const CRect whole(0, 0, getWidth(), getHeight());
    const CRect& clip = context->getClipRect();
    size_t first = views.size();
    while (first > 0 && !(views[first - 1]->isVisible() && holds(views[first - 1]->opaqueArea(), clip))) --first;
    if (first == 0) {
        context->setFillColor(kBlackCColor);  // under a missing or smaller background
        context->fillRect(whole);
        if (background) context->drawBitmap(background, whole);
    } else {
        --first;
    }
    for (size_t i = 0; i < views.size(); ++i)
        if (views[i]->isVisible() && views[i]->getViewSize().rectOverlap(clip) && (i >= first || views[i]->isDirty()))
            views[i]->draw(context);
}

CView* CFrame::viewAt(const CPoint& where) const {
    for (auto it = views.rbegin(); it != views.rend(); ++it)
        if ((*it)->isVisible() && (*it)->getMouseEnabled() && (*it)->getMouseableArea().pointInside(where))
            return *it;
    return nullptr;
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, const CButtonState& buttons) {
    CView* view = viewAt(where);
    if (view == nullptr) return kMouseEventNotHandled;
    const CMouseEventResult result = view->onMouseDown(where, buttons);
    if (result != kMouseEventNotHandled) focusView = view;
    if (result == kMouseEventHandled) mouseDownView = view;
    return result;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    return mouseDownView ? mouseDownView->onMouseMoved(where, buttons) : kMouseEventNotHandled;
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (mouseDownView == nullptr) return kMouseEventNotHandled;
    CView* view = mouseDownView;
    mouseDownView = nullptr;
    return view->onMouseUp(where, buttons);
}

bool CFrame::onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) {
    for (auto it = views.rbegin(); it != views.rend(); ++it)
        if ((*it)->isVisible() && (*it)->getMouseEnabled() && (*it)->getMouseableArea().pointInside(where) &&
            (*it)->onWheel(where, distance, buttons))
            return true;
    return false;
}

int32_t CFrame::onKeyDown(VstKeyCode& keyCode) { return focusView ? focusView->onKeyDown(keyCode) : -1; }

int32_t CFrame::onKeyUp(VstKeyCode& keyCode) { return focusView ? focusView->onKeyUp(keyCode) : -1; }

bool CFrame::getCurrentMouseLocation(CPoint& where) const {
    return platformFrame ? platformFrame->getCurrentMouseLocation(where) : false;
}

CButtonState CFrame::getCurrentMouseButtons() const {
    return platformFrame ? platformFrame->getCurrentMouseButtons() : CButtonState();
}

bool CFrame::setSize(CCoord width, CCoord height) {
    const CRect newSize(size.left, size.top, size.left + width, size.top + height);
    if (newSize == size) return true;
    if (width < 1 || height < 1) return false;
    if (editor && !editor->beforeSizeChange(newSize, size)) return false;
    size = newSize;
    mouseableArea = newSize;
    if (platformFrame) platformFrame->setSize(newSize);
    setDirty(true);
    return true;
}

void CFrame::beginEdit(int32_t index) {
    if (editor) editor->beginEdit(index);
}

void CFrame::endEdit(int32_t index) {
    if (editor) editor->endEdit(index);
}

void CFrame::platformDrawRect(const CRect& area) { paintRect(area); }
CMouseEventResult CFrame::platformOnMouseDown(CPoint& where, const CButtonState& buttons) {
    return onMouseDown(where, buttons);
}
CMouseEventResult CFrame::platformOnMouseMoved(CPoint& where, const CButtonState& buttons) {
    return onMouseMoved(where, buttons);
}
CMouseEventResult CFrame::platformOnMouseUp(CPoint& where, const CButtonState& buttons) {
    return onMouseUp(where, buttons);
}
bool CFrame::platformOnWheel(const CPoint& where, float distance, const CButtonState& buttons) {
    return onWheel(where, distance, buttons);
}
void CFrame::platformOnTimer() {
    if (!platformFrame) return;
    viewIdleAndRedraw();
    platformFrame->flush();
}
