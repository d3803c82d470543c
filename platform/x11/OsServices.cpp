// The window-system services over Xlib. Every X call runs inside an XErrorTrap, so a window that
// vanished (or an id that never was one) costs a failed answer, never the host.
#include "platform/OsServices.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <ctime>

#include "platform/x11/XErrorTrap.h"

namespace lumetra {
namespace {

OsServiceHooks hooks;  // plain function pointers: nothing to destroy at unload

Display* displayOf(OsWindow window) { return static_cast<Display*>(window.connection); }

}  // namespace

void setOsServiceHooks(const OsServiceHooks& newHooks) { hooks = newHooks; }

uint32_t tickCount() {
    if (hooks.tickCount) return hooks.tickCount();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);  // wraps like a 32-bit tick count
}

void sleepMs(uint32_t ms) {
    if (hooks.sleepMs) {
        hooks.sleepMs(ms);
        return;
    }
    timespec wait{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {}  // resumes after a signal
}

int32_t dialogFrameHeight() { return hooks.dialogFrameHeight ? hooks.dialogFrameHeight() : 0; }

OleSession initializeOle() { return {}; }
void uninitializeOle(const OleSession&) {}

OsWindow parentWindow(OsWindow window) {
    if (!window) return {};
    Display* display = displayOf(window);
    XErrorTrap trap(display);
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    const Status ok = XQueryTree(display, window.id, &root, &parent, &children, &count);
    if (children) XFree(children);
    if (!ok || trap.failed() || parent == 0 || parent == root) return {};
    return {window.connection, parent};
}

bool windowClassName(OsWindow window, char* text, size_t size) {
    if (text == nullptr || size == 0) return false;
    text[0] = '\0';
    if (!window) return false;
    Display* display = displayOf(window);
    XErrorTrap trap(display);
    XClassHint hint{};
    const Status ok = XGetClassHint(display, window.id, &hint);
    bool found = false;
    if (ok && !trap.failed() && hint.res_class) {
        std::strncpy(text, hint.res_class, size - 1);
        text[size - 1] = '\0';
        found = true;
    }
    if (ok) {
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
    }
    return found;
}

bool windowScreenRect(OsWindow window, OsRect& rect) {
    if (!window) return false;
    Display* display = displayOf(window);
    XErrorTrap trap(display);
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window.id, &attributes) || trap.failed()) return false;
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display, window.id, attributes.root, 0, 0, &x, &y, &child) || trap.failed())
        return false;
    rect = {x, y, x + attributes.width, y + attributes.height};
    return true;
}

void resizeWindow(OsWindow window, int32_t width, int32_t height) {
    if (!window) return;
    Display* display = displayOf(window);
    XErrorTrap trap(display);
    XResizeWindow(display, window.id, static_cast<unsigned>(width < 1 ? 1 : width),
                  static_cast<unsigned>(height < 1 ? 1 : height));
}

int connectionFileDescriptor(OsWindow window) { return window ? ConnectionNumber(displayOf(window)) : -1; }

bool dispatchOnePendingPaint(OsWindow window, PaintHandler paint, void* context) {
    if (!window) return false;
    Display* display = displayOf(window);
    XEvent event{};
    {
        XErrorTrap trap(display);
        if (!XCheckTypedWindowEvent(display, window.id, Expose, &event)) return false;
    }
    if (paint) {
        const XExposeEvent& e = event.xexpose;
        paint(context, OsRect{e.x, e.y, e.x + e.width, e.y + e.height});
    }
    return true;
}

}  // namespace lumetra
