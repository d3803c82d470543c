// A test's own X connection and windows, and events sent to the frame's window the way a server
// would deliver them (XSendEvent), or typed as a user would (XTest).
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>

namespace x11test {

// The test's connection; null when no display can be reached (the test then skips).
Display* openDisplay();

// A mapped window (a top-level one when parent is 0) of the given size at (0, 0).
Window makeWindow(Display* display, Window parent, int width, int height, const char* className = nullptr);

// Size of a window, or 0 x 0 when it does not exist.
struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};
Size windowSize(Display* display, Window window);
bool windowExists(Display* display, Window window);
int childCount(Display* display, Window window);

// Pointer events to the frame's window; state holds X modifier and button masks.
void sendButton(Display* display, Window window, int type, unsigned int button, int x, int y, unsigned int state = 0);
void sendMotion(Display* display, Window window, int x, int y, unsigned int state = Button1Mask);
// A key pressed and released on the keyboard, with focus on one window and the pointer over
// another, as a user does it: the server delivers it to whichever window selects it.
void typeKeyAt(Display* display, Window focus, Window under, unsigned long keySym);

// Counts X errors that reach the process-wide handler while it is installed; a test installs
// it to prove that no error of the code under test escapes the toolkit's own handler.
class SentinelHandler {
public:
    SentinelHandler();
    ~SentinelHandler();
    static int errors;
    static bool installed();

private:
    XErrorHandler previous;
};

}  // namespace x11test
