#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/editor/TestWindows.h"
#include "toolkit/CButtonState.h"

namespace testwindows {
namespace {

std::vector<HWND> windows;                // in the order made
std::vector<std::wstring> classesMade;    // registered here, unregistered by closeAll

HWND asWindow(NativeWindow window) { return reinterpret_cast<HWND>(window); }

// A window class of the test program's own under name (the system's "MDIClient" among them: a
// class of the program's own is found before the system's of that name).
bool useClass(const std::wstring& name) {
    if (std::find(classesMade.begin(), classesMade.end(), name) != classesMade.end()) return true;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name.c_str();
    if (!RegisterClassW(&windowClass)) return false;
    classesMade.push_back(name);
    return true;
}

WPARAM keyState(int32_t modifiers) {
    WPARAM keys = 0;
    if (modifiers & kShift) keys |= MK_SHIFT;
    if (modifiers & kControl) keys |= MK_CONTROL;
    return keys;
}

void send(NativeWindow window, UINT message, WPARAM keys, int x, int y) {
    SendMessageW(asWindow(window), message, keys, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
}

}  // namespace

bool available() { return true; }

void closeAll() {
    for (auto w = windows.rbegin(); w != windows.rend(); ++w)
        if (IsWindow(*w)) DestroyWindow(*w);
    windows.clear();
    handleMessages();
    for (const std::wstring& name : classesMade) UnregisterClassW(name.c_str(), GetModuleHandleW(nullptr));
    classesMade.clear();
}

NativeWindow makeWindow(NativeWindow parent, int width, int height, const char* className) {
    const std::string name8 = className ? className : "LumetraTestWindow";
    const std::wstring name(name8.begin(), name8.end());
    if (!useClass(name)) return 0;
    // Top-level windows stay hidden: Wine waits some 2 s for a window manager whenever a shown
    // one goes away. Children are shown, as a host's are.
    const DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_POPUP;
    HWND window = CreateWindowExW(0, name.c_str(), L"", style, 0, 0, width, height, asWindow(parent), nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window) windows.push_back(window);
    handleMessages();
    return reinterpret_cast<NativeWindow>(window);
}

void destroyWindow(NativeWindow window) {
    std::erase(windows, asWindow(window));
    DestroyWindow(asWindow(window));
    handleMessages();
}

Size windowSize(NativeWindow window) {
    RECT r{};
    if (!IsWindow(asWindow(window)) || !GetWindowRect(asWindow(window), &r)) return {};
    return {r.right - r.left, r.bottom - r.top};
}

int childCount(NativeWindow window) {
    int count = 0;
    for (HWND child = GetWindow(asWindow(window), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) ++count;
    return count;
}

void mouseDown(NativeWindow window, int x, int y, int32_t modifiers) {
    send(window, WM_LBUTTONDOWN, MK_LBUTTON | keyState(modifiers), x, y);
}

void mouseMove(NativeWindow window, int x, int y) { send(window, WM_MOUSEMOVE, MK_LBUTTON, x, y); }

void mouseUp(NativeWindow window, int x, int y, int32_t modifiers) { send(window, WM_LBUTTONUP, keyState(modifiers), x, y); }

// The message carries screen coordinates, as the system sends it.
void wheel(NativeWindow window, int x, int y, bool up) {
    POINT point{x, y};
    ClientToScreen(asWindow(window), &point);
    const auto delta = static_cast<WORD>(static_cast<short>(up ? WHEEL_DELTA : -WHEEL_DELTA));
    SendMessageW(asWindow(window), WM_MOUSEWHEEL, MAKEWPARAM(0, delta),
                 MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y)));
}

void handleMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void sleepMs(int ms) { Sleep(static_cast<DWORD>(ms)); }

}  // namespace testwindows
