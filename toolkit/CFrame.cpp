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
    close();
    platformFrame.reset();
}

void CFrame::close() {
    if (closed) return;
    closed = true;
    if (platformFrame) platformFrame->close();
    removeAll();
    editor = nullptr;
}

bool CFrame::addView(CView* view) {
    if (view == nullptr) return false;
    if (closed) {
        view->forget();
        return false;
    }
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
// once. What the events change is drawn and sent at once, unless one of them closed the frame.
void CFrame::idle() {
    if (!platformFrame || closed) return;
    lumetra::KeepAlive keep(this);
    viewIdleAndRedraw();
    if (platformFrame->handlePendingEvents() && !closed) {
        viewIdleAndRedraw();
        platformFrame->flush();
    }
}

void CFrame::viewIdleAndRedraw() {
    if (closed) return;
    const uint32_t now = lumetra::tickCount();
    if (!viewIdleStarted || now - lastViewIdle >= kIdleRateMs) {  // unsigned: survives the wrap
        viewIdleStarted = true;
        lastViewIdle = now;
        for (size_t i = 0; i < views.size() && !closed; ++i)
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
    if (closed || !platformFrame || platformFrame->getBackBuffer() == nullptr) return;
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

// Each handler keeps the frame and the view alive while the view handles the event, and learns
// from closed (or from the view no longer being its) that the host closed the editor meanwhile.
CMouseEventResult CFrame::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (closed) return kMouseEventNotHandled;
    CView* view = viewAt(where);
    if (view == nullptr) return kMouseEventNotHandled;
    lumetra::KeepAlive keepFrame(this);
    lumetra::KeepAlive keepView(view);
    const CMouseEventResult result = view->onMouseDown(where, buttons);
    if (closed || view->getFrame() != this) return result;
    if (result != kMouseEventNotHandled) focusView = view;
    if (result == kMouseEventHandled) mouseDownView = view;
    return result;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    if (closed || mouseDownView == nullptr) return kMouseEventNotHandled;
    CView* view = mouseDownView;
    lumetra::KeepAlive keepFrame(this);
    lumetra::KeepAlive keepView(view);
    return view->onMouseMoved(where, buttons);
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const CButtonState& buttons) {
    if (closed || mouseDownView == nullptr) return kMouseEventNotHandled;
    CView* view = mouseDownView;
    mouseDownView = nullptr;
    lumetra::KeepAlive keepFrame(this);
    lumetra::KeepAlive keepView(view);
    return view->onMouseUp(where, buttons);
}

bool CFrame::onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) {
    if (closed) return false;
    lumetra::KeepAlive keepFrame(this);
    for (size_t i = views.size(); i-- > 0 && !closed;) {
        if (i >= views.size()) continue;
        CView* view = views[i];
        if (!view->isVisible() || !view->getMouseEnabled() || !view->getMouseableArea().pointInside(where)) continue;
        lumetra::KeepAlive keepView(view);
        if (view->onWheel(where, distance, buttons)) return true;
    }
    return false;
}

int32_t CFrame::onKeyDown(VstKeyCode& keyCode) {
    if (closed || focusView == nullptr) return -1;
    CView* view = focusView;
    lumetra::KeepAlive keepFrame(this);
    lumetra::KeepAlive keepView(view);
    return view->onKeyDown(keyCode);
}

int32_t CFrame::onKeyUp(VstKeyCode& keyCode) {
    if (closed || focusView == nullptr) return -1;
    CView* view = focusView;
    lumetra::KeepAlive keepFrame(this);
    lumetra::KeepAlive keepView(view);
    return view->onKeyUp(keyCode);
}

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
    if (!platformFrame || closed) return;
    lumetra::KeepAlive keep(this);
    if (editor) editor->beforeTimerIdle();
    viewIdleAndRedraw();
    if (!closed) platformFrame->flush();
}
