// The editor window tests' windows in the X server: the test's own connection and parent window,
// mouse events sent to the frame's window as the server would deliver them, and pictures read
// back with XGetImage.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <thread>

#include "platform/vst24.h"
#include "tests/editor/EditorWindowSupport.h"
#include "tests/editor/X11TestSupport.h"
#include "toolkit/CButtonState.h"

namespace editortest {
namespace {

Display* displayOf(const ModuleEditor& editor) { return static_cast<Display*>(editor.connection); }

unsigned int xState(int32_t modifiers) {
    unsigned int state = 0;
    if (modifiers & kShift) state |= ShiftMask;
    if (modifiers & kControl) state |= ControlMask;
    if (modifiers & kAlt) state |= Mod1Mask;
    return state;
}

}  // namespace

bool ModuleEditor::setUp() {
    Display* display = XOpenDisplay(nullptr);
    connection = display;
    if (display == nullptr) {
        why = "no X display";
        return false;
    }
    if (!loadModule()) return false;
    parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight, 0, 0, 0x808080);
    XMapWindow(display, parent);
    XSync(display, False);
    return true;
}

ModuleEditor::~ModuleEditor() {
    host.unload();
    if (Display* display = displayOf(*this)) {
        if (parent) XDestroyWindow(display, parent);
        XCloseDisplay(display);
    }
}

void ModuleEditor::idle(int count) {
    for (int i = 0; i < count; ++i) {
        host.dispatch(effEditIdle);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    host.dispatch(effEditIdle);
    XSync(displayOf(*this), False);
}

NativeWindow ModuleEditor::frameWindow() const {
    Window root = 0, parentOfParent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window frame = 0;
    if (XQueryTree(displayOf(*this), parent, &root, &parentOfParent, &children, &count) && count > 0)
        frame = children[count - 1];
    if (children) XFree(children);
    return frame;
}

Picture windowPicture(void* connection, NativeWindow window, int width, int height) {
    Picture picture;
    XImage* image = XGetImage(static_cast<Display*>(connection), window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) return picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.pixels[static_cast<size_t>(y * width + x)] = static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu;
    XDestroyImage(image);
    return picture;
}

Picture ModuleEditor::picture() { return windowPicture(connection, frameWindow(), kWidth, kHeight); }

void ModuleEditor::mouseDown(int x, int y, int32_t modifiers) {
    x11test::sendButton(displayOf(*this), frameWindow(), ButtonPress, Button1, x, y, xState(modifiers));
}

void ModuleEditor::mouseMove(int x, int y) { x11test::sendMotion(displayOf(*this), frameWindow(), x, y); }

void ModuleEditor::mouseUp(int x, int y, int32_t modifiers) {
    x11test::sendButton(displayOf(*this), frameWindow(), ButtonRelease, Button1, x, y, xState(modifiers) | Button1Mask);
}

void ModuleEditor::wheel(int x, int y, bool up) {
    x11test::sendButton(displayOf(*this), frameWindow(), ButtonPress, up ? Button4 : Button5, x, y);
}

void ModuleEditor::exposeAll() {
    XClearArea(displayOf(*this), frameWindow(), 0, 0, 0, 0, True);
    XSync(displayOf(*this), False);
}

}  // namespace editortest
