// The test's own windows and the mouse on a window, the same on every system: X11 windows of the
// test's connection (TestWindowsX11.cpp) or Win32 windows of the test's thread
// (TestWindowsWin32.cpp, under Wine). Plain window sizes: no borders or decorations.
#pragma once

#include <cstdint>

namespace testwindows {

using NativeWindow = uintptr_t;  // an X11 window id or an HWND; 0 for none

// False when there is no window system to reach (no X display): the test then skips. Opens the
// connection that the calls below use, until closeAll().
bool available();
// Destroys every window made here, children first, and closes the connection.
void closeAll();

// A window of width x height at (0, 0) of parent (the screen when 0), of the given window class
// name, or of the test's own class. Shown, except a top-level one on Windows.
NativeWindow makeWindow(NativeWindow parent, int width, int height, const char* className = nullptr);
void destroyWindow(NativeWindow window);  // also forgets it

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};
Size windowSize(NativeWindow window);  // 0 x 0 when it does not exist
int childCount(NativeWindow window);

// The mouse as the window system delivers it to window; modifiers are the toolkit's kShift and
// kControl. move drags with the left button held.
void mouseDown(NativeWindow window, int x, int y, int32_t modifiers = 0);
void mouseMove(NativeWindow window, int x, int y);
void mouseUp(NativeWindow window, int x, int y, int32_t modifiers = 0);
// One notch of the wheel at (x, y) of window, away from the user when up.
void wheel(NativeWindow window, int x, int y, bool up);

// The window system's messages for the test's thread handled, as a host's loop does (nothing to
// do on X11: the editor reads its own connection at idle).
void handleMessages();
void sleepMs(int ms);

inline void* asParent(NativeWindow window) { return reinterpret_cast<void*>(window); }

}  // namespace testwindows
