// The window-system services the editor glue needs: clock, sleep, one pending paint and the
// window walk of the size negotiation. The X11 implementation is platform/x11/OsServices.cpp.
// UI thread, except tickCount and sleepMs (any thread).
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumetra {

// A window of the window system: the connection it is reached through (an X11 Display*) and its
// id. A null id is "no window".
struct OsWindow {
    void* connection = nullptr;
    uintptr_t id = 0;
    explicit operator bool() const { return connection != nullptr && id != 0; }
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

// Height of a dialog window's frame in pixels (0 on X11: the window manager owns decorations).
int32_t dialogFrameHeight();

// The parent of a window; no window for a top-level window (whose parent is the root), a
// window that does not exist, or no window given.
OsWindow parentWindow(OsWindow window);

// The window's class name (X11: the class part of WM_CLASS), cut to size - 1 characters and
// terminated; false (and an empty text) when it has none.
bool windowClassName(OsWindow window, char* text, size_t size);

// The window's rectangle in screen coordinates, without its border; false when it does not exist.
bool windowScreenRect(OsWindow window, OsRect& rect);

// Resizes a window, keeping its position; sizes below 1 become 1. Failures are ignored.
void resizeWindow(OsWindow window, int32_t width, int32_t height);

// Takes one pending paint request of the window (an Expose event) off its connection's queue
// and hands its area, in window coordinates, to paint. False when none was waiting.
using PaintHandler = void (*)(void* context, const OsRect& area);
bool dispatchOnePendingPaint(OsWindow window, PaintHandler paint, void* context);

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
