// The plug-in's editor window as a host meets it: the built module loaded through the test host,
// its editor opened inside a window of the test's own (in a real X server, or under Wine), the
// mouse as the window system delivers it, pictures of what it shows, and the images it is drawn
// from. The same on every system: EditorWindowX11.cpp and EditorWindowWin32.cpp hold the windows.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "host/VstHost.h"

namespace editortest {

// A decoded image of the module's resource table, as 0xRRGGBB pixels.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};
Image decodeImage(int number);

// What a window shows, read back from the window system.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
    bool operator==(const Picture&) const = default;
};

// True when the picture shows image rows [rowFrom, rowTo) at (left, top + row) for every column
// of the image: the image is drawn at its own scale, so each pixel is a copy.
bool showsRows(const Picture& picture, const Image& image, int left, int top, int rowFrom, int rowTo,
               int imageRowOffset = 0);

// The rows of a band meter column (0 .. 152) that show the lit image for a displayed value: the
// meter's drawing rule for 16 segments, vertical style.
struct LitRows {
    int from = 0;
    int to = 0;
};
LitRows litRows(float value);

// Left edge of band meter i in the editor window.
int meterLeft(int band);

// A window of the window system: an X11 window id or an HWND; 0 for none.
using NativeWindow = uintptr_t;

// The module loaded, resumed at 48 kHz with 512-sample blocks, and a top-level window of the
// editor's size; open() puts the editor into it.
class ModuleEditor {
public:
    static constexpr int kWidth = 900;
    static constexpr int kHeight = 277;
    static constexpr int kBlock = 512;

    // False (with the reason in why) when no display or module is to be had.
    bool setUp();
    ~ModuleEditor();

    bool open();   // effEditOpen into the window; true when the editor answered 1
    void close();  // effEditClose
    // effEditIdle count times, waiting past the 33 ms view idle between them (and handling
    // the window system's messages meanwhile, as a host's loop does).
    void idle(int count = 3);
    Picture picture();  // of the editor's frame window
    NativeWindow frameWindow() const;

    // The mouse on the frame window, as the window system delivers it; modifiers are the
    // toolkit's kShift, kControl and kAlt.
    void mouseDown(int x, int y, int32_t modifiers = 0);
    void mouseMove(int x, int y);  // with the left button held
    void mouseUp(int x, int y, int32_t modifiers = 0);
    void click(int x, int y, int32_t modifiers = 0);  // down, up, then idle(1)
    void wheel(int x, int y, bool up);                 // one notch, away from the user when up
    // The window system asks for the whole window to be painted again (the frame then redraws
    // every view), as when another window uncovers it; the next idle handles it.
    void exposeAll();

    // Stereo blocks of the same signal in both channels through processReplacing.
    void process(const std::vector<float>& signal);

    lumetra::VstHost host;
    void* connection = nullptr;  // the test's X11 Display*; unused on Windows
    NativeWindow parent = 0;
    const char* why = "";

private:
    bool loadModule();  // the module loaded and resumed; false (with why) when it did not load
};

// What a window of the given size shows, read back from the window system (connection: the
// test's X11 Display*). X11 only.
Picture windowPicture(void* connection, NativeWindow window, int width, int height);

// A sine of the given peak amplitude, frequency and length at 48 kHz.
std::vector<float> sine(float amplitude, double hz, size_t frames);

}  // namespace editortest
