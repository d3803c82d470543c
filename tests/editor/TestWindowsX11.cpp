#include <chrono>
#include <thread>
#include <vector>

#include "tests/editor/TestWindows.h"
#include "tests/editor/X11TestSupport.h"
#include "toolkit/CButtonState.h"

namespace testwindows {
namespace {

Display* display = nullptr;
std::vector<Window> windows;  // in the order made

unsigned int xState(int32_t modifiers) {
    unsigned int state = 0;
    if (modifiers & kShift) state |= ShiftMask;
    if (modifiers & kControl) state |= ControlMask;
    return state;
}

}  // namespace

bool available() {
    if (display == nullptr) display = x11test::openDisplay();
    return display != nullptr;
}

void closeAll() {
    if (display == nullptr) return;
    for (auto w = windows.rbegin(); w != windows.rend(); ++w) XDestroyWindow(display, *w);
    windows.clear();
    XCloseDisplay(display);
    display = nullptr;
}

NativeWindow makeWindow(NativeWindow parent, int width, int height, const char* className) {
    windows.push_back(x11test::makeWindow(display, static_cast<Window>(parent), width, height, className));
    return windows.back();
}

void destroyWindow(NativeWindow window) {
    std::erase(windows, static_cast<Window>(window));
    XDestroyWindow(display, static_cast<Window>(window));
    XSync(display, False);
}

Size windowSize(NativeWindow window) {
    const x11test::Size size = x11test::windowSize(display, static_cast<Window>(window));
    return {size.width, size.height};
}

int childCount(NativeWindow window) { return x11test::childCount(display, static_cast<Window>(window)); }

void mouseDown(NativeWindow window, int x, int y, int32_t modifiers) {
    x11test::sendButton(display, static_cast<Window>(window), ButtonPress, Button1, x, y, xState(modifiers));
}

void mouseMove(NativeWindow window, int x, int y) { x11test::sendMotion(display, static_cast<Window>(window), x, y); }

void mouseUp(NativeWindow window, int x, int y, int32_t modifiers) {
    x11test::sendButton(display, static_cast<Window>(window), ButtonRelease, Button1, x, y,
                        xState(modifiers) | Button1Mask);
}

void wheel(NativeWindow window, int x, int y, bool up) {
    x11test::sendButton(display, static_cast<Window>(window), ButtonPress, up ? Button4 : Button5, x, y);
}

void handleMessages() {}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace testwindows
