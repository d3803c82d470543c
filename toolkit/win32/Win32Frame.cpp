// The frame's Win32 side: a child window of the host's window, of a window class registered with
// this module's handle while any frame lives, an off-screen DIB section holding the whole frame
// (copied to the window, so a redraw never flickers), the mouse with capture during a press, the
// wheel, and the window's own 33 ms timer for the views' idle. Keys are left to the host, which
// hands them to the editor through effEditKeyDown/effEditKeyUp. Messages arrive through the
// host's message loop on the thread that created the window (the UI thread).
#include <windows.h>
#include <windowsx.h>

#include <cmath>
#include <memory>
#include <mutex>

#include "toolkit/CFrame.h"
#include "toolkit/IPlatformFrame.h"
#include "toolkit/win32/GdiOffscreen.h"

namespace {

constexpr wchar_t kClassName[] = L"LumetraEditorFrame";
constexpr UINT_PTR kIdleTimer = 1;

// The module that holds this code (the plug-in DLL, or a test program that links the toolkit).
HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The window class lives while any frame does: registered by the first, unregistered by the last,
// so it never outlives the module. Frames may live on different threads.
std::mutex classMutex;
int classUsers = 0;

bool useWindowClass() {
    std::lock_guard<std::mutex> lock(classMutex);
    if (classUsers == 0) {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = thisModule();
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.lpszClassName = kClassName;
        // A class left behind by a module instance that was unloaded without closing its editor
        // would hold a window procedure that no longer exists: replace it.
        UnregisterClassW(kClassName, windowClass.hInstance);
        if (RegisterClassExW(&windowClass) == 0) return false;
    }
    ++classUsers;
    return true;
}

void releaseWindowClass() {
    std::lock_guard<std::mutex> lock(classMutex);
    if (--classUsers == 0) UnregisterClassW(kClassName, thisModule());
}

int32_t modifierState(WPARAM keys) {
    int32_t result = 0;
    if (keys & MK_SHIFT) result |= kShift;
    if (keys & MK_CONTROL) result |= kControl;
    if (GetKeyState(VK_MENU) < 0) result |= kAlt;
    return result;
}

int32_t heldButtons(WPARAM keys) {
    int32_t result = 0;
    if (keys & MK_LBUTTON) result |= kLButton;
    if (keys & MK_MBUTTON) result |= kMButton;
    if (keys & MK_RBUTTON) result |= kRButton;
    return result;
}

class Win32Frame final : public IPlatformFrame {
public:
    Win32Frame(const CRect& size, IPlatformFrameCallback* callback) : callback(callback) {
        backBuffer = IPlatformOffscreen::create(static_cast<int32_t>(size.getWidth()),
                                                static_cast<int32_t>(size.getHeight()));
    }

    ~Win32Frame() override {
        if (window && IsWindow(window)) {
            // No message of the dying window reaches the frame any more.
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            KillTimer(window, kIdleTimer);
            DestroyWindow(window);
        }
        window = nullptr;
        backBuffer.reset();
        releaseWindowClass();
    }

    void attach(HWND created) {
        window = created;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetTimer(window, kIdleTimer, CFrame::kIdleRateMs, nullptr);
    }

    void* getPlatformRepresentation() const override { return window; }
    lumetra::OsWindow getOsWindow() const override { return {nullptr, reinterpret_cast<uintptr_t>(window)}; }

    bool handlePendingEvents() override { return false; }

    // The press in progress ends (the host closed the editor in the middle of it), the timer
    // stops and no message reaches the frame any more; the window goes with the platform frame.
    // Detached first: releasing the capture sends WM_CAPTURECHANGED at once, and the frame may be
    // closing from its destructor.
    void close() override {
        closed = true;
        if (window == nullptr) return;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        KillTimer(window, kIdleTimer);
        releaseCapture();
    }

    IPlatformFrameCallback* owner() const { return callback; }

    void handleEvent(const void* nativeEvent) override {
        const auto* message = static_cast<const MSG*>(nativeEvent);
        if (message == nullptr || closed || window == nullptr || message->hwnd != window) return;
        callback->platformRemember();
        handleMessage(message->message, message->wParam, message->lParam);
        callback->platformForget();
    }

    IPlatformOffscreen* getBackBuffer() override { return backBuffer.get(); }

    void show(const CRect* areas, size_t count) override {
        if (areas == nullptr || count == 0 || window == nullptr || backBuffer == nullptr) return;
        HDC source = static_cast<GdiOffscreen*>(backBuffer.get())->getDC();
        GdiFlush();
        HDC target = paintDC ? paintDC : GetDC(window);
        if (target == nullptr) return;
        for (size_t i = 0; i < count; ++i) {
            CRect area(areas[i]);
            area.bound(CRect(0, 0, backBuffer->getWidth(), backBuffer->getHeight()));
            const int left = static_cast<int>(area.left);
            const int top = static_cast<int>(area.top);
            const int right = static_cast<int>(std::ceil(area.right));
            const int bottom = static_cast<int>(std::ceil(area.bottom));
            if (right > left && bottom > top) BitBlt(target, left, top, right - left, bottom - top, source, left, top, SRCCOPY);
        }
        if (target != paintDC) ReleaseDC(window, target);
    }

    void flush() override {}  // show() has drawn into the window already

    bool getCurrentMouseLocation(CPoint& where) override {
        POINT point{};
        if (window == nullptr || !GetCursorPos(&point) || !ScreenToClient(window, &point)) return false;
        where = CPoint(point.x, point.y);
        return true;
    }

    CButtonState getCurrentMouseButtons() override {
        int32_t result = 0;
        if (GetKeyState(VK_LBUTTON) < 0) result |= kLButton;
        if (GetKeyState(VK_MBUTTON) < 0) result |= kMButton;
        if (GetKeyState(VK_RBUTTON) < 0) result |= kRButton;
        if (GetKeyState(VK_SHIFT) < 0) result |= kShift;
        if (GetKeyState(VK_CONTROL) < 0) result |= kControl;
        if (GetKeyState(VK_MENU) < 0) result |= kAlt;
        return result;
    }

    bool setSize(const CRect& size) override {
        if (window == nullptr) return false;
        auto resized = IPlatformOffscreen::create(static_cast<int32_t>(size.getWidth()),
                                                  static_cast<int32_t>(size.getHeight()));
        if (resized == nullptr) return false;
        if (!SetWindowPos(window, nullptr, 0, 0, static_cast<int>(size.getWidth()), static_cast<int>(size.getHeight()),
                          SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
            return false;
        backBuffer = std::move(resized);
        return true;
    }

    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_PAINT: {
                PAINTSTRUCT paint{};
                paintDC = BeginPaint(window, &paint);
                const RECT& r = paint.rcPaint;
                if (paintDC && r.right > r.left && r.bottom > r.top)
                    callback->platformDrawRect(CRect(r.left, r.top, r.right, r.bottom));
                EndPaint(window, &paint);
                paintDC = nullptr;
                return 0;
            }
            case WM_ERASEBKGND: return 1;  // the back buffer covers every pixel
            case WM_LBUTTONDOWN:
            case WM_MBUTTONDOWN:
            case WM_RBUTTONDOWN: {
                // Only the button pressed, as X11 reports a press.
                const int32_t button = message == WM_LBUTTONDOWN ? kLButton : message == WM_MBUTTONDOWN ? kMButton : kRButton;
                CPoint where(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
                lastMouse = where;
                if (!captured) {
                    SetCapture(window);
                    captured = true;
                }
                callback->platformOnMouseDown(where, button | modifierState(wParam));
                return 0;
            }
            case WM_MOUSEMOVE: {
                CPoint where(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
                lastMouse = where;
                callback->platformOnMouseMoved(where, heldButtons(wParam) | modifierState(wParam));
                return 0;
            }
            case WM_LBUTTONUP:
            case WM_MBUTTONUP:
            case WM_RBUTTONUP: {
                // The released button counts as held, as X11 reports a release.
                const int32_t button = message == WM_LBUTTONUP ? kLButton : message == WM_MBUTTONUP ? kMButton : kRButton;
                CPoint where(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
                lastMouse = where;
                releaseCapture();
                callback->platformOnMouseUp(where, button | heldButtons(wParam) | modifierState(wParam));
                return 0;
            }
            case WM_CAPTURECHANGED:
                // Another window took the mouse in the middle of a press (a host dialog, say):
                // the press ends here, so the gesture it began ends too.
                if (captured && reinterpret_cast<HWND>(lParam) != window) {
                    captured = false;
                    CPoint where(lastMouse);
                    callback->platformOnMouseUp(where, kLButton);
                }
                return 0;
            case WM_MOUSEWHEEL: {
                POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};  // screen coordinates
                ScreenToClient(window, &point);
                const float steps = static_cast<float>(GET_WHEEL_DELTA_WPARAM(wParam)) / WHEEL_DELTA;
                const WPARAM keys = GET_KEYSTATE_WPARAM(wParam);
                callback->platformOnWheel(CPoint(point.x, point.y), steps, heldButtons(keys) | modifierState(keys));
                return 0;
            }
            case WM_TIMER:
                if (wParam != kIdleTimer) break;
                callback->platformOnTimer();
                return 0;
            case WM_DESTROY:
                // The host destroyed its window (and with it this one) before closing the editor:
                // the frame lives on without a window until the editor closes.
                KillTimer(window, kIdleTimer);
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                captured = false;
                window = nullptr;
                return 0;
            default: break;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

private:
    void releaseCapture() {
        if (!captured) return;
        captured = false;  // first: ReleaseCapture sends WM_CAPTURECHANGED
        if (GetCapture() == window) ReleaseCapture();
    }

    IPlatformFrameCallback* callback;
    HWND window = nullptr;
    std::unique_ptr<IPlatformOffscreen> backBuffer;
    HDC paintDC = nullptr;  // during WM_PAINT: show() draws into it
    bool captured = false;  // the mouse is ours between a press and its release
    bool closed = false;
    CPoint lastMouse;
};

// The frame is kept alive while the message is handled: the handling may reach the host, which
// may close the editor and release the frame; then the window goes once the message is done.
LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* frame = reinterpret_cast<Win32Frame*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (frame == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    IPlatformFrameCallback* owner = frame->owner();
    owner->platformRemember();
    const LRESULT result = frame->handleMessage(message, wParam, lParam);
    owner->platformForget();
    return result;
}

}  // namespace

std::unique_ptr<IPlatformFrame> IPlatformFrame::create(void* parent, const CRect& size,
                                                       IPlatformFrameCallback* callback) {
    auto* parentWindow = static_cast<HWND>(parent);
    const int width = static_cast<int>(size.getWidth());
    const int height = static_cast<int>(size.getHeight());
    // A null or destroyed parent: no window, and the editor answers 0.
    if (parentWindow == nullptr || !IsWindow(parentWindow) || callback == nullptr || width < 1 || height < 1)
        return nullptr;
    if (!useWindowClass()) return nullptr;
    auto frame = std::make_unique<Win32Frame>(size, callback);  // gives the class back when it goes
    if (frame->getBackBuffer() == nullptr) return nullptr;
    HWND window = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                                  static_cast<int>(size.left), static_cast<int>(size.top), width, height, parentWindow,
                                  nullptr, thisModule(), nullptr);
    if (window == nullptr) return nullptr;
    frame->attach(window);
    return frame;
}
