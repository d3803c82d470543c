// A rectangle of the frame that draws itself and may take mouse, wheel and key events.
// Views are owned by their frame once added (addView takes the creator's reference).
// Everything here runs on the UI thread.
#pragma once

#include "platform/vst24.h"
#include "toolkit/CBaseObject.h"
#include "toolkit/CButtonState.h"
#include "toolkit/CRect.h"

class CBitmap;
class CDrawContext;
class CFrame;

class CView : public CBaseObject {
public:
    explicit CView(const CRect& size);
    ~CView() override;

    virtual void draw(CDrawContext* context);

    // Mouse positions are in frame coordinates.
    virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons);
    // distance: wheel steps, positive away from the user. True when used.
    virtual bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons);
    // Greater than 0 when the key was used, -1 otherwise.
    virtual int32_t onKeyDown(VstKeyCode& keyCode);
    virtual int32_t onKeyUp(VstKeyCode& keyCode);

    // Whether the view needs drawing; the frame's idle redraws dirty views.
    virtual void setDirty(bool state = true) { dirty = state; }
    virtual bool isDirty() const { return dirty; }
    // The part of the view a dirty view needs drawn; all of it unless the view knows better.
    virtual CRect dirtyArea() const { return size; }
    // The part of the view that draw() covers with opaque pixels, whatever the clip and the
    // view's state: the frame draws nothing under it. Empty unless the view knows better.
    virtual CRect opaqueArea() const { return {}; }
    // Asks the frame to redraw the view's rectangle at its next idle.
    virtual void invalid();
    // Asks the frame to redraw area (frame coordinates) at its next idle; invalid() asks for all.
    virtual void invalidRect(const CRect& area);

    // The frame calls onIdle about every 33 ms for views that want it.
    virtual void onIdle() {}
    void setWantsIdle(bool state) { idleWanted = state; }
    bool wantsIdle() const { return idleWanted; }

    virtual void setViewSize(const CRect& rect, bool invalidate = true);
    const CRect& getViewSize() const { return size; }
    CCoord getWidth() const { return size.getWidth(); }
    CCoord getHeight() const { return size.getHeight(); }
    void setMouseableArea(const CRect& rect) { mouseableArea = rect; }
    const CRect& getMouseableArea() const { return mouseableArea; }
    void setMouseEnabled(bool state) { mouseEnabled = state; }
    bool getMouseEnabled() const { return mouseEnabled; }
    void setVisible(bool state);
    bool isVisible() const { return visible; }

    // The image drawn behind the view's content; the view holds a reference of its own.
    virtual void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }

    CFrame* getFrame() const { return frame; }
    // Called by the frame when the view is added and when it goes.
    virtual void attached(CFrame* parent) { frame = parent; }
    virtual void removed() { frame = nullptr; }

protected:
    CRect size;
    CRect mouseableArea;
    CFrame* frame = nullptr;
    CBitmap* background = nullptr;

private:
    bool dirty = false;
    bool idleWanted = false;
    bool mouseEnabled = true;
    bool visible = true;
};
