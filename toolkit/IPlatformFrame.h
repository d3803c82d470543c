// The window-system side of a frame: its own child window, an off-screen image of the whole
// frame that is copied to the window (so a redraw never flickers), and the window's events.
// Implementations: toolkit/x11/ (Linux) and toolkit/win32/ (Windows). UI thread (the thread that
// created the frame).
#pragma once

#include <cstddef>
#include <memory>

#include "platform/OsServices.h"
#include "platform/vst24.h"
#include "toolkit/CButtonState.h"
#include "toolkit/CRect.h"
#include "toolkit/IPlatformOffscreen.h"

// What the window's events become; the frame implements it.
class IPlatformFrameCallback {
public:
    virtual void platformDrawRect(const CRect& area) = 0;  // redraw and show area now
    virtual CMouseEventResult platformOnMouseDown(CPoint& where, const CButtonState& buttons) = 0;
    virtual CMouseEventResult platformOnMouseMoved(CPoint& where, const CButtonState& buttons) = 0;
    virtual CMouseEventResult platformOnMouseUp(CPoint& where, const CButtonState& buttons) = 0;
    virtual bool platformOnWheel(const CPoint& where, float distance, const CButtonState& buttons) = 0;
    // The window's own timer of kIdleRateMs, where the window system runs one (Windows): the
    // views' idle and the redraw of what became dirty.
    virtual void platformOnTimer() = 0;
    // One reference of the frame, taken while a native event is handled (the Win32 window
    // procedure): the handling may reach the host, which may close the editor and release the
    // frame, and with it this platform frame; it goes once the handling has returned.
    virtual void platformRemember() = 0;
    virtual void platformForget() = 0;

protected:
    ~IPlatformFrameCallback() = default;
};

class IPlatformFrame {
public:
    // A child window of parent (an X11 window id, or an HWND) at size's place and size (on X11
    // on a connection of its own); null when there is no parent, no display or the parent is not
    // a window.
    static std::unique_ptr<IPlatformFrame> create(void* parent, const CRect& size,
                                                  IPlatformFrameCallback* callback);
    virtual ~IPlatformFrame() = default;

    // The frame's own window (an X11 window id, or an HWND).
    virtual void* getPlatformRepresentation() const = 0;
    virtual lumetra::OsWindow getOsWindow() const = 0;

    // Handles every event waiting for the window (on Windows the host's message loop delivers
    // them: nothing to do), true when there were any; one native event (an XEvent*, or a MSG*)
    // for tests.
    virtual bool handlePendingEvents() = 0;
    virtual void handleEvent(const void* nativeEvent) = 0;
    // The frame closed for good (from inside an event's handling, perhaps): a batch of events
    // being handled stops, no event, timer or paint reaches the frame any more. The window
    // itself goes when the platform frame is destroyed.
    virtual void close() = 0;

    // The off-screen image the frame draws into, the frame's size; show() copies the areas of
    // it to the window in one go. On X11 the copies are queued, and leave with the next
    // handlePendingEvents() or flush(): an idle writes to the server once.
    virtual IPlatformOffscreen* getBackBuffer() = 0;
    virtual void show(const CRect* areas, size_t count) = 0;
    virtual void flush() = 0;

    virtual bool getCurrentMouseLocation(CPoint& where) = 0;  // frame coordinates
    virtual CButtonState getCurrentMouseButtons() = 0;
    virtual bool setSize(const CRect& size) = 0;
};
