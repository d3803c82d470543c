// The window-system services the editor glue needs: clock, sleep, one pending paint, the window
// walk of the size negotiation and OLE. Implementations: platform/x11/OsServices.cpp and
// platform/win32/OsServices.cpp. UI thread, except tickCount and sleepMs (any thread).
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumetra {

// A window of the window system: the connection it is reached through (an X11 Display*; unused
// on Windows) and its id (an X11 Window, or an HWND on Windows). A null id is "no window".
struct OsWindow {
    void* connection = nullptr;
    uintptr_t id = 0;
#if defined(_WIN32)
    explicit operator bool() const { return id != 0; }
#else
    explicit operator bool() const { return connection != nullptr && id != 0; }
#endif
};

// A window's rectangle on the screen, in pixels; right and bottom exclusive.
struct OsRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
};

// Milliseconds of a monotonic clock; wraps like a 32-bit tick count.
uint32_t tickCount();
void sleepMs(uint32_t ms);

// Height of a dialog window's frame in pixels: GetSystemMetrics(SM_CYDLGFRAME) on Windows, 0 on
// X11 (the window manager owns decorations).
int32_t dialogFrameHeight();

// The parent of a window; no window for a top-level window (whose parent is the root), a
// window that does not exist, or no window given.
OsWindow parentWindow(OsWindow window);

// The window's class name (X11: the class part of WM_CLASS; Windows: GetClassNameA), cut to size - 1 characters and
// terminated; false (and an empty text) when it has none.
bool windowClassName(OsWindow window, char* text, size_t size);

// The window's rectangle in screen coordinates, without its border; false when it does not exist.
bool windowScreenRect(OsWindow window, OsRect& rect);

// Resizes a window, keeping its position; sizes below 1 become 1. Failures are ignored.
void resizeWindow(OsWindow window, int32_t width, int32_t height);

// The file descriptor of the connection a window is reached through, readable when events for
// it arrive (X11: the Display's socket); -1 on Windows, whose windows get their messages through
// the thread's queue, and for no window.
int connectionFileDescriptor(OsWindow window);

// Takes one pending paint request off the queue and has it painted. X11: the window's next Expose
// event, whose area (window coordinates) goes to paint. Windows: the calling thread's next
// WM_PAINT for any of its windows, removed and dispatched to that window's procedure (paint is
// not called). False when none was waiting.
using PaintHandler = void (*)(void* context, const OsRect& area);
bool dispatchOnePendingPaint(OsWindow window, PaintHandler paint, void* context);

// OLE for the calling thread. initializeOle says whether it succeeded and on which thread;
// uninitializeOle undoes exactly that: nothing after a failure (a host that chose the
// multithreaded model for the thread, say), nothing on another thread, whose COM state is the
// host's. Nothing to do on X11.
struct OleSession {
    bool initialized = false;
    uint32_t threadId = 0;
};
OleSession initializeOle();
void uninitializeOle(const OleSession& session);

// Replacements for the clock, the sleep and the frame metric, so that tests can drive the idle
// pacing and the window walk. A null member keeps the real service; setOsServiceHooks({})
// restores all of them.
struct OsServiceHooks {
    uint32_t (*tickCount)() = nullptr;
    void (*sleepMs)(uint32_t ms) = nullptr;
    int32_t (*dialogFrameHeight)() = nullptr;
};
void setOsServiceHooks(const OsServiceHooks& hooks);

}  // namespace lumetra
