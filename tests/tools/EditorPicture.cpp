#include "tests/tools/EditorPicture.h"

#include <X11/Xutil.h>

namespace lumetra::test {

EditorPicture::EditorPicture(const std::string& pngPath) : surface(cairo_image_surface_create_from_png(pngPath.c_str())) {}

EditorPicture::EditorPicture(Display* display, Window window) : surface(nullptr) {
    XWindowAttributes attributes{};
    XImage* image = nullptr;
    if (XGetWindowAttributes(display, window, &attributes))
        image = XGetImage(display, window, 0, 0, unsigned(attributes.width), unsigned(attributes.height), AllPlanes,
                          ZPixmap);
    if (image == nullptr) {
        surface = cairo_image_surface_create(CAIRO_FORMAT_INVALID, 0, 0);
        return;
    }
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, attributes.width, attributes.height);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x)
            reinterpret_cast<uint32_t*>(data + y * cairo_image_surface_get_stride(surface))[x] =
                uint32_t(XGetPixel(image, x, y)) & 0xFFFFFFu;
    cairo_surface_mark_dirty(surface);
    XDestroyImage(image);
}

EditorPicture::~EditorPicture() { cairo_surface_destroy(surface); }

bool EditorPicture::ok() const { return cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
int EditorPicture::width() const { return cairo_image_surface_get_width(surface); }
int EditorPicture::height() const { return cairo_image_surface_get_height(surface); }

uint32_t EditorPicture::at(int x, int y) const {
    const unsigned char* data = cairo_image_surface_get_data(surface);
    return *reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(surface) + x * 4) & 0xFFFFFFu;
}

int EditorPicture::litPixels(int band) const {
    const int left = 70 + static_cast<int>(band * 24.15);
    int lit = 0;
    for (int y = 54; y < 206; ++y)
        for (int x = left; x < left + 11; ++x) {
            const uint32_t p = at(x, y);
            if (((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) < 90) ++lit;
        }
    return lit;
}

Window findWindow(Display* display, const std::string& titleStart) {
    Window root = 0, parent = 0, found = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        char* name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
            if (std::string(name).rfind(titleStart, 0) == 0) found = children[i];
            XFree(name);
        }
    }
    if (children) XFree(children);
    return found;
}

void closeLikeWindowManager(Display* display, Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

}  // namespace lumetra::test
