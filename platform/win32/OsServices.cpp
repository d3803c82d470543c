// The window-system services over Win32. A window that vanished (or a handle that never was one)
// makes the calls fail, which the answers report; nothing reaches the host.
#include "platform/OsServices.h"

#include <ole2.h>
#include <windows.h>

#include <cstring>

namespace lumetra {
namespace {

OsServiceHooks hooks;  // plain function pointers: nothing to destroy at unload

HWND handleOf(OsWindow window) { return reinterpret_cast<HWND>(window.id); }

}  // namespace

void setOsServiceHooks(const OsServiceHooks& newHooks) { hooks = newHooks; }

uint32_t tickCount() { return hooks.tickCount ? hooks.tickCount() : static_cast<uint32_t>(GetTickCount()); }

void sleepMs(uint32_t ms) {
    if (hooks.sleepMs)
        hooks.sleepMs(ms);
    else
        Sleep(ms);
}

int32_t dialogFrameHeight() {
    return hooks.dialogFrameHeight ? hooks.dialogFrameHeight() : GetSystemMetrics(SM_CYDLGFRAME);
}

OleSession initializeOle() {
    return {SUCCEEDED(OleInitialize(nullptr)), static_cast<uint32_t>(GetCurrentThreadId())};
}

void uninitializeOle(const OleSession& session) {
    if (session.initialized && session.threadId == static_cast<uint32_t>(GetCurrentThreadId())) OleUninitialize();
}

OsWindow parentWindow(OsWindow window) {
    if (!window) return {};
    HWND parent = GetParent(handleOf(window));
    return parent ? OsWindow{nullptr, reinterpret_cast<uintptr_t>(parent)} : OsWindow{};
}

bool windowClassName(OsWindow window, char* text, size_t size) {
    if (text == nullptr || size == 0) return false;
    text[0] = '\0';
    if (!window) return false;
    const int capacity = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
    const int length = GetClassNameA(handleOf(window), text, capacity);
    if (length <= 0) {
        text[0] = '\0';
        return false;
    }
    text[size - 1] = '\0';
    return true;
}

bool windowScreenRect(OsWindow window, OsRect& rect) {
    if (!window) return false;
    RECT r{};
    if (!GetWindowRect(handleOf(window), &r)) return false;
    rect = {r.left, r.top, r.right, r.bottom};
    return true;
}

void resizeWindow(OsWindow window, int32_t width, int32_t height) {
    if (!window) return;
    SetWindowPos(handleOf(window), nullptr, 0, 0, width < 1 ? 1 : width, height < 1 ? 1 : height, SWP_NOMOVE);
}

int connectionFileDescriptor(OsWindow) { return -1; }

// The window is not a filter: the next WM_PAINT of any window of this thread is the one waiting.
bool dispatchOnePendingPaint(OsWindow, PaintHandler, void*) {
    MSG message{};
    if (!PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) return false;
    DispatchMessageA(&message);
    return true;
}

}  // namespace lumetra
