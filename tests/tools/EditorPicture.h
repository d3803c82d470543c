// The editor's pixels as the tests read them: from a saved picture or from a window on the X
// server, with the LED columns of its band meters.
#pragma once

#include <X11/Xlib.h>
#include <cairo.h>

#include <cstdint>
#include <string>

namespace lumetra::test {

class EditorPicture {
public:
    explicit EditorPicture(const std::string& pngPath);
    EditorPicture(Display* display, Window window);  // what the window shows now
    ~EditorPicture();
    EditorPicture(const EditorPicture&) = delete;
    EditorPicture& operator=(const EditorPicture&) = delete;

    bool ok() const;
    int width() const;
    int height() const;
    uint32_t at(int x, int y) const;  // 0xRRGGBB
    // Bright red LED pixels in band j's column (columns 11 wide from 70 + j x 24.15).
    int litPixels(int band) const;

private:
    cairo_surface_t* surface;
};

// The top-level window whose title starts so, or 0.
Window findWindow(Display* display, const std::string& titleStart);

// Asks the window to close as a window manager does (WM_DELETE_WINDOW).
void closeLikeWindowManager(Display* display, Window window);

}  // namespace lumetra::test
