// The editor window tests' windows on Windows (under Wine): a top-level window of the test's own
// as the host's parent, mouse messages sent to the frame's window as the system would deliver
// them and the test thread's messages handled as a host's loop does (TestWindowsWin32.cpp), and
// pictures copied from the frame window's device context.
#include <windows.h>

#include "platform/vst24.h"
#include "tests/editor/EditorWindowSupport.h"
#include "tests/editor/TestWindows.h"

namespace editortest {
namespace {

constexpr wchar_t kParentClass[] = L"LumetraTestHostWindow";

HWND asWindow(NativeWindow window) { return reinterpret_cast<HWND>(window); }

using testwindows::handleMessages;

}  // namespace

// One shown window of the editor's size at the screen's corner, as a host's plug-in window, for
// the whole program: Wine waits some 2 s for a window manager whenever a shown top-level window
// goes away. The system takes it at exit.
static HWND hostWindow() {
    static HWND window = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kParentClass;
        RegisterClassW(&windowClass);
        return CreateWindowExW(0, kParentClass, L"host", WS_POPUP | WS_VISIBLE, 0, 0, ModuleEditor::kWidth,
                               ModuleEditor::kHeight, nullptr, nullptr, windowClass.hInstance, nullptr);
    }();
    return window;
}

bool ModuleEditor::setUp() {
    if (!loadModule()) return false;
    if (hostWindow() == nullptr) {
        why = "no window";
        return false;
    }
    parent = reinterpret_cast<NativeWindow>(hostWindow());
    handleMessages();
    return true;
}

ModuleEditor::~ModuleEditor() {
    host.unload();
    handleMessages();
}

void ModuleEditor::idle(int count) {
    for (int i = 0; i < count; ++i) {
        host.dispatch(effEditIdle);
        handleMessages();
        Sleep(40);
        handleMessages();
    }
    host.dispatch(effEditIdle);
    handleMessages();
    GdiFlush();
}

NativeWindow ModuleEditor::frameWindow() const {
    return parent ? reinterpret_cast<NativeWindow>(GetWindow(asWindow(parent), GW_CHILD)) : 0;
}

Picture ModuleEditor::picture() {
    Picture picture;
    HWND frame = asWindow(frameWindow());
    if (frame == nullptr) return picture;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC windowDC = GetDC(frame);
    HDC copyDC = CreateCompatibleDC(windowDC);
    if (copy && bits && windowDC && copyDC) {
        HGDIOBJ previous = SelectObject(copyDC, copy);
        BitBlt(copyDC, 0, 0, kWidth, kHeight, windowDC, 0, 0, SRCCOPY);
        GdiFlush();
        const auto* pixels = static_cast<const uint32_t*>(bits);
        picture.width = kWidth;
        picture.height = kHeight;
        picture.pixels.assign(pixels, pixels + static_cast<size_t>(kWidth) * static_cast<size_t>(kHeight));
        for (uint32_t& pixel : picture.pixels) pixel &= 0xFFFFFFu;
        SelectObject(copyDC, previous);
    }
    if (copyDC) DeleteDC(copyDC);
    if (windowDC) ReleaseDC(frame, windowDC);
    if (copy) DeleteObject(copy);
    return picture;
}

void ModuleEditor::mouseDown(int x, int y, int32_t modifiers) { testwindows::mouseDown(frameWindow(), x, y, modifiers); }

void ModuleEditor::mouseMove(int x, int y) { testwindows::mouseMove(frameWindow(), x, y); }

void ModuleEditor::mouseUp(int x, int y, int32_t modifiers) { testwindows::mouseUp(frameWindow(), x, y, modifiers); }

void ModuleEditor::wheel(int x, int y, bool up) { testwindows::wheel(frameWindow(), x, y, up); }

void ModuleEditor::exposeAll() { InvalidateRect(reinterpret_cast<HWND>(frameWindow()), nullptr, FALSE); }

}  // namespace editortest
