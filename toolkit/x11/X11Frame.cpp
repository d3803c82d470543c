// The frame's X11 side: a child window of the host's window on a Display connection of its own
// (used only on the editor thread), an image surface holding the whole frame, and the window's
// events turned into frame calls. Every X call runs inside an XErrorTrap, so a bad or vanished
// window costs a failed call, never the host.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>

#include "platform/x11/XErrorTrap.h"
#include "toolkit/IPlatformFrame.h"
#include "toolkit/cairo/CairoOffscreen.h"

namespace {

using lumetra::XErrorTrap;

CButtonState buttonState(unsigned int state, unsigned int button) {
    int32_t result = 0;
    if ((state & Button1Mask) || button == Button1) result |= kLButton;
    if ((state & Button2Mask) || button == Button2) result |= kMButton;
    if ((state & Button3Mask) || button == Button3) result |= kRButton;
    if (state & ShiftMask) result |= kShift;
    if (state & ControlMask) result |= kControl;
    if (state & Mod1Mask) result |= kAlt;
    return result;
}

class X11Frame final : public IPlatformFrame {
public:
    X11Frame(Display* display, Window window, Visual* visual, int depth, const CRect& size,
             IPlatformFrameCallback* callback)
        : display(display), window(window), visual(visual), depth(depth), callback(callback) {
        XErrorTrap trap(display);
        gc = XCreateGC(display, window, 0, nullptr);
        makeSurfaces(size);
    }

    ~X11Frame() override {
        // A cairo device of the connection holds caches of its own; finishing it before the
        // connection closes returns them.
        cairo_device_t* device = windowSurface ? cairo_device_reference(cairo_surface_get_device(windowSurface)) : nullptr;
        destroySurfaces();
        {
            XErrorTrap trap(display);  // syncs at the end: all of it reaches the server first
            if (device) {
                cairo_device_finish(device);
                cairo_device_destroy(device);
            }
            XFreeGC(display, gc);
            XDestroyWindow(display, window);
        }
        XCloseDisplay(display);
    }

    void* getPlatformRepresentation() const override {
        return reinterpret_cast<void*>(static_cast<uintptr_t>(window));
    }
    lumetra::OsWindow getOsWindow() const override { return {display, window}; }

    // Events come off the queue in batches under the trap and are handled outside it: handling
    // reaches the host (begin-edit, automation), which must never run with our handler installed.
    // XPending first sends what show() queued: with nothing to show and no event, the idle costs
    // two reads that find nothing, and no round trip. The trap catches the errors of show()'s
    // requests, which arrive here or at a later idle.
    // A frame closed by one of the handlers (the host closing the editor from a callback) drops
    // the rest of the batch. A call from inside a handler (the host idling the editor from a
    // callback) handles nothing: the batch in hand is the outer call's.
    bool handlePendingEvents() override {
        if (closed || dispatching) return false;
        bool handled = false;
        for (;;) {
            size_t count = 0;
            {
                XErrorTrap trap(display, XErrorTrap::kNoSync);  // reads only: nothing to wait for
                while (count < batch.size() && XPending(display) > 0) {
                    XNextEvent(display, &batch[count]);
                    // Only the newest position of a drag matters.
                    if (batch[count].type == MotionNotify)
                        while (XCheckTypedWindowEvent(display, window, MotionNotify, &batch[count])) {}
                    ++count;
                }
            }
            dispatching = true;
            for (size_t i = 0; i < count && !closed; ++i) dispatch(batch[i]);
            dispatching = false;
            handled = handled || count > 0;
            if (closed || count < batch.size()) return handled;
        }
    }

    void handleEvent(const void* nativeEvent) override {
        if (nativeEvent == nullptr || closed) return;
        XEvent event = *static_cast<const XEvent*>(nativeEvent);
        dispatch(event);
    }

    void close() override { closed = true; }

    IPlatformOffscreen* getBackBuffer() override { return backBuffer.get(); }

    // Queues the copies; they go out with the next event check or flush(). No sync: the server
    // answers nothing to them, and waiting for it would cost a round trip per idle.
    void show(const CRect* areas, size_t count) override {
        if (areas == nullptr || count == 0) return;
        XErrorTrap trap(display, XErrorTrap::kNoSync);
        if (backBuffer == nullptr) return;
        cairo_surface_flush(backBuffer->getSurface());
        if (image) {
            const CRect whole(0, 0, image->width, image->height);
            for (size_t i = 0; i < count; ++i) {
                CRect area(areas[i]);
                area.bound(whole);
                const int x = static_cast<int>(area.left);
                const int y = static_cast<int>(area.top);
                const int right = static_cast<int>(std::ceil(area.right));
                const int bottom = static_cast<int>(std::ceil(area.bottom));
                if (right <= x || bottom <= y) continue;
                if (x == 0 && y == 0 && right == image->width && bottom == image->height)
                    wholeShownSerial = NextRequest(display);
                XPutImage(display, window, gc, image, x, y, x, y, static_cast<unsigned>(right - x),
                          static_cast<unsigned>(bottom - y));
            }
        } else if (windowSurface) {
            cairo_t* cairo = cairo_create(windowSurface);
            for (size_t i = 0; i < count; ++i)
                cairo_rectangle(cairo, areas[i].left, areas[i].top, areas[i].getWidth(), areas[i].getHeight());
            cairo_clip(cairo);
            cairo_set_source_surface(cairo, backBuffer->getSurface(), 0, 0);
            cairo_set_operator(cairo, CAIRO_OPERATOR_SOURCE);
            cairo_paint(cairo);
            cairo_destroy(cairo);
            cairo_surface_flush(windowSurface);
        }
    }

    void flush() override {
        XErrorTrap trap(display, XErrorTrap::kNoSync);  // XFlush also reads what has arrived
        XFlush(display);
    }

    bool getCurrentMouseLocation(CPoint& where) override {
        XErrorTrap trap(display);
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask) || trap.failed())
            return false;
        where = CPoint(x, y);
        return true;
    }

    CButtonState getCurrentMouseButtons() override {
        XErrorTrap trap(display);
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, x = 0, y = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(display, window, &root, &child, &rootX, &rootY, &x, &y, &mask) || trap.failed())
            return {};
        return buttonState(mask, 0);
    }

    bool setSize(const CRect& size) override {
        {
            XErrorTrap trap(display);
            XResizeWindow(display, window, static_cast<unsigned>(size.getWidth()),
                          static_cast<unsigned>(size.getHeight()));
            if (trap.failed()) return false;
        }
        destroySurfaces();
        makeSurfaces(size);
        return true;
    }

private:
    // The usual 24-bit true-colour visual stores pixels exactly as cairo's RGB24 does, so the
    // back buffer goes to the window by XPutImage straight from its memory; any other visual
    // (a 32-bit one wants real alpha) goes through cairo's Xlib surface.
    void makeSurfaces(const CRect& size) {
        const int width = static_cast<int>(size.getWidth());
        const int height = static_cast<int>(size.getHeight());
        backBuffer = std::make_unique<CairoOffscreen>(width, height);
        cairo_surface_t* pixels = backBuffer->getSurface();
        XErrorTrap trap(display);
        if (visual->c_class == TrueColor && depth == 24 && visual->red_mask == 0xFF0000 &&
            visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF) {
            image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                 reinterpret_cast<char*>(cairo_image_surface_get_data(pixels)),
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32,
                                 cairo_image_surface_get_stride(pixels));
            if (image && image->bits_per_pixel != 32) dropImage();
            if (image) image->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
        }
        if (image == nullptr) windowSurface = cairo_xlib_surface_create(display, window, visual, width, height);
    }

    void dropImage() {
        image->data = nullptr;  // the back buffer's memory: its surface frees it
        XDestroyImage(image);
        image = nullptr;
    }

    void destroySurfaces() {
        XErrorTrap trap(display);
        if (image) dropImage();
        if (windowSurface) {
            cairo_surface_finish(windowSurface);
            cairo_surface_destroy(windowSurface);
        }
        windowSurface = nullptr;
        backBuffer.reset();
    }

    void dispatch(XEvent& event) {
        if (event.xany.window != window) return;
        switch (event.type) {
            case Expose: {
                const XExposeEvent& e = event.xexpose;
                // Lost before the server took our copy of the whole window, which put it back (the
                // mapping's own exposure, after the first idle has drawn everything).
                if (e.serial < wholeShownSerial) break;
                callback->platformDrawRect(CRect(e.x, e.y, e.x + e.width, e.y + e.height));
                break;
            }
            case ButtonPress: {
                const XButtonEvent& e = event.xbutton;
                const CButtonState buttons = buttonState(e.state & ~(Button1Mask | Button2Mask | Button3Mask), e.button);
                CPoint where(e.x, e.y);
                if (e.button == Button4 || e.button == Button5)  // wheel: one step per notch
                    callback->platformOnWheel(where, e.button == Button4 ? 1.0f : -1.0f, buttons);
                else if (e.button <= Button3)
                    callback->platformOnMouseDown(where, buttons);
                break;
            }
            case ButtonRelease: {
                const XButtonEvent& e = event.xbutton;
                if (e.button > Button3) break;
                CPoint where(e.x, e.y);
                callback->platformOnMouseUp(where, buttonState(e.state, 0));
                break;
            }
            case MotionNotify: {
                const XMotionEvent& e = event.xmotion;
                CPoint where(e.x, e.y);
                callback->platformOnMouseMoved(where, buttonState(e.state, 0));
                break;
            }
            default: break;
        }
    }

    Display* display;
    Window window;
    Visual* visual;
    int depth;
    IPlatformFrameCallback* callback;
    std::array<XEvent, 32> batch;  // events taken off the queue, handled after the trap
    GC gc = nullptr;
    std::unique_ptr<CairoOffscreen> backBuffer;
    XImage* image = nullptr;                   // the back buffer's memory as the window's pixels
    unsigned long wholeShownSerial = 0;        // of the newest copy of the whole back buffer
    cairo_surface_t* windowSurface = nullptr;  // or, for other visuals, cairo's view of the window
    bool dispatching = false;                  // handling a batch
    bool closed = false;
};

}  // namespace

std::unique_ptr<IPlatformFrame> IPlatformFrame::create(void* parent, const CRect& size,
                                                       IPlatformFrameCallback* callback) {
    const auto parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
    const int width = static_cast<int>(size.getWidth());
    const int height = static_cast<int>(size.getHeight());
    if (parentWindow == 0 || callback == nullptr || width < 1 || height < 1) return nullptr;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return nullptr;

    Window window = 0;
    XWindowAttributes parentAttributes{};
    {
        XErrorTrap trap(display);
        if (XGetWindowAttributes(display, parentWindow, &parentAttributes) && !trap.failed()) {
            XSetWindowAttributes attributes{};
            attributes.background_pixmap = None;  // no server-side clearing: nothing flickers
            // No key events: with the host's window focused they go on up to it (its shortcuts),
            // and the host hands the editor its keys through effEditKeyDown and effEditKeyUp.
            attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
            window = XCreateWindow(display, parentWindow, static_cast<int>(size.left), static_cast<int>(size.top),
                                   static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                   CopyFromParent, InputOutput, CopyFromParent, CWBackPixmap | CWEventMask,
                                   &attributes);
            XMapWindow(display, window);
            if (trap.failed()) {
                XDestroyWindow(display, window);
                window = 0;
            }
        }
    }
    if (window == 0) {
        XCloseDisplay(display);
        return nullptr;
    }
    return std::make_unique<X11Frame>(display, window, parentAttributes.visual, parentAttributes.depth, size, callback);
}
