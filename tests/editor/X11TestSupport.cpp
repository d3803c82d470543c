#include "tests/editor/X11TestSupport.h"

#include <X11/extensions/XTest.h>

namespace x11test {

int SentinelHandler::errors = 0;

namespace {
int sentinel(Display*, XErrorEvent*) {
    ++SentinelHandler::errors;
    return 0;
}
}  // namespace

SentinelHandler::SentinelHandler() {
    errors = 0;
    previous = XSetErrorHandler(sentinel);
}

SentinelHandler::~SentinelHandler() { XSetErrorHandler(previous); }

bool SentinelHandler::installed() {
    XErrorHandler current = XSetErrorHandler(sentinel);
    XSetErrorHandler(current);
    return current == sentinel;
}

Display* openDisplay() { return XOpenDisplay(nullptr); }

Window makeWindow(Display* display, Window parent, int width, int height, const char* className) {
    if (parent == 0) parent = DefaultRootWindow(display);
    const Window window = XCreateSimpleWindow(display, parent, 0, 0, static_cast<unsigned>(width),
                                              static_cast<unsigned>(height), 0, 0, 0x808080);
    if (className) {
        XClassHint hint{};
        hint.res_name = const_cast<char*>("test");
        hint.res_class = const_cast<char*>(className);
        XSetClassHint(display, window, &hint);
    }
    XMapWindow(display, window);
    XSync(display, False);
    return window;
}

Size windowSize(Display* display, Window window) {
    SentinelHandler quiet;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes)) return {};
    XSync(display, False);
    return {attributes.width, attributes.height};
}

bool windowExists(Display* display, Window window) {
    SentinelHandler quiet;
    XWindowAttributes attributes{};
    const Status ok = XGetWindowAttributes(display, window, &attributes);
    XSync(display, False);
    return ok != 0 && SentinelHandler::errors == 0;
}

int childCount(Display* display, Window window) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return -1;
    if (children) XFree(children);
    return static_cast<int>(count);
}

void sendButton(Display* display, Window window, int type, unsigned int button, int x, int y, unsigned int state) {
    XEvent event{};
    XButtonEvent& e = event.xbutton;
    e.type = type;
    e.display = display;
    e.window = window;
    e.root = DefaultRootWindow(display);
    e.x = x;
    e.y = y;
    e.button = button;
    e.state = state;
    e.same_screen = True;
    XSendEvent(display, window, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
    XSync(display, False);
}

void sendMotion(Display* display, Window window, int x, int y, unsigned int state) {
    XEvent event{};
    XMotionEvent& e = event.xmotion;
    e.type = MotionNotify;
    e.display = display;
    e.window = window;
    e.root = DefaultRootWindow(display);
    e.x = x;
    e.y = y;
    e.state = state;
    e.same_screen = True;
    XSendEvent(display, window, False, PointerMotionMask, &event);
    XSync(display, False);
}

void typeKeyAt(Display* display, Window focus, Window under, unsigned long keySym) {
    XSetInputFocus(display, focus, RevertToParent, CurrentTime);
    XWarpPointer(display, None, under, 0, 0, 0, 0, 5, 5);
    XSync(display, False);
    const KeyCode code = XKeysymToKeycode(display, keySym);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XSync(display, False);
}

}  // namespace x11test
