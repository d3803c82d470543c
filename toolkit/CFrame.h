// The editor's window contents: a child window of the host's parent window, a background image
// and the views in the order they were added (later ones on top). The frame owns its views.
// The editor's idle() runs the frame on the UI thread: it runs the views' 33 ms idle and redraws
// whatever became dirty, off screen first and then copied to the window, then handles the
// window's pending events and redraws what they changed. On Windows the host's message loop delivers the window's events and the
// window's own 33 ms timer runs the views' idle and the redraw as well, after asking the editor to
// bring its stored values into the views.
// A host may close the editor from inside any callback the frame's event handling reaches (a
// gesture's begin or end, automation): the editor then closes the frame and releases it. Handling
// keeps the frame and the view it handles alive (lumetra::KeepAlive) and stops touching them once
// the frame is closed, so they are freed only after the handling has returned.
#pragma once

#include <memory>
#include <vector>

#include "toolkit/CView.h"
#include "toolkit/IPlatformFrame.h"

class VSTGUIEditorInterface;

class CFrame : public CView, private IPlatformFrameCallback {
public:
    // Creates the child window of systemWindow (an X11 window id, or an HWND). When that fails the frame
    // exists without a window (getPlatformFrame() is null) and shows and handles nothing.
    CFrame(const CRect& size, void* systemWindow, VSTGUIEditorInterface* editor);
    ~CFrame() override;

    // Closes the frame for good: the views are removed (a control in the middle of a gesture
    // ends it first, through the editor) and no event, idle or drawing reaches them any more.
    // The editor calls it before it releases the frame.
    void close();
    bool isClosed() const { return closed; }

    IPlatformFrame* getPlatformFrame() const { return platformFrame.get(); }
    VSTGUIEditorInterface* getEditor() const { return editor; }

    // Takes over the caller's reference of view. False (and the reference released) for null.
    bool addView(CView* view);
    void removeAll();
    int32_t getNbViews() const { return static_cast<int32_t>(views.size()); }
    CView* getView(int32_t index) const;
    void setBackground(CBitmap* bitmap) override;

    // Events, view idle, redraw; see the class comment.
    void idle();
    // Redraws area and shows it now.
    void paintRect(const CRect& area);
    void invalidRect(const CRect& rect);
    void draw(CDrawContext* context) override;

    // Keys, from the host's effEditKeyDown/effEditKeyUp only (the window takes none of its own),
    // go to the focus view (the control last pressed); greater than 0 when used.
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    int32_t onKeyUp(VstKeyCode& keyCode) override;
    // Goes to the topmost view under where; true when it used it.
    bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons) override;

    bool getCurrentMouseLocation(CPoint& where) const;
    CButtonState getCurrentMouseButtons() const;

    void setFocusView(CView* view) { focusView = view; }
    CView* getFocusView() const { return focusView; }

    // Asks the editor first (beforeSizeChange); false keeps the old size.
    bool setSize(CCoord width, CCoord height);

    void beginEdit(int32_t index);
    void endEdit(int32_t index);

    // The view idle's period.
    static constexpr uint32_t kIdleRateMs = 33;

private:
    void platformDrawRect(const CRect& area) override;
    CMouseEventResult platformOnMouseDown(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult platformOnMouseMoved(CPoint& where, const CButtonState& buttons) override;
    CMouseEventResult platformOnMouseUp(CPoint& where, const CButtonState& buttons) override;
    bool platformOnWheel(const CPoint& where, float distance, const CButtonState& buttons) override;
    void platformOnTimer() override;
    void platformRemember() override { remember(); }
    void platformForget() override { forget(); }

    CView* viewAt(const CPoint& where) const;
    void viewIdleAndRedraw();
    void redraw(IPlatformOffscreen& backBuffer, const CRect& area);  // into the back buffer only

    VSTGUIEditorInterface* editor;
    std::unique_ptr<IPlatformFrame> platformFrame;
    std::vector<CView*> views;            // owned: one reference each
    std::vector<CRect> invalidRects;      // to redraw at the next idle
    std::vector<CRect> drawAreas;         // the idle's working copy of them
    CView* focusView = nullptr;
    CView* mouseDownView = nullptr;
    uint32_t lastViewIdle = 0;
    bool viewIdleStarted = false;
    bool closed = false;
};
