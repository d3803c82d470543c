// What only the Windows build has: the DLL's version resource and image resources, the images
// found through the module handle, loading, unloading and creating many times over, and the Win32
// services of the editor glue on real windows. The DLL's import and export tables are checked from
// outside (CheckDllTables.cmake).
#include <ole2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "host/VstHost.h"
#include "platform/OsServices.h"
#include "platform/Resources.h"

namespace {

std::vector<unsigned char> committedImage(int number) {
    std::ifstream file(std::string(LUMETRA_SOURCE_DIR) + "/resources/" + std::to_string(number) + ".png",
                       std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<unsigned char> bytesOf(const lumetra::Resource& resource) {
    return {resource.data, resource.data + resource.size};
}

TEST(WindowsModule, VersionResourceSays1202AndTheDescription) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(LUMETRA_MODULE_PATH, &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(LUMETRA_MODULE_PATH, 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, (1u << 16) | 2u);
    EXPECT_EQ(fixed->dwFileVersionLS, (0u << 16) | 2u);
    EXPECT_EQ(fixed->dwProductVersionMS, (1u << 16) | 2u);
    EXPECT_EQ(fixed->dwProductVersionLS, (0u << 16) | 2u);
    char* description = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\FileDescription",
                               reinterpret_cast<void**>(&description), &length));
    EXPECT_STREQ(description, "Lumetra VST Plug-In");
}

// The DLL's resources of type "PNG" 128 to 133 are the committed images, byte for byte; and the
// platform's lookup finds them through the handle of the module it is linked into (here the test
// program, which carries the same resources).
TEST(WindowsModule, ImagesAreResourcesOfTypePngFoundThroughTheModuleHandle) {
    HMODULE dll = LoadLibraryExA(LUMETRA_MODULE_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(dll, nullptr);
    for (int number = 128; number <= 133; ++number) {
        SCOPED_TRACE(number);
        const std::vector<unsigned char> committed = committedImage(number);
        ASSERT_GT(committed.size(), 8u);
        HRSRC found = FindResourceA(dll, MAKEINTRESOURCEA(number), "PNG");
        ASSERT_NE(found, nullptr);
        const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(dll, found)));
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + SizeofResource(dll, found)), committed);
        EXPECT_EQ(bytesOf(lumetra::findResource(number)), committed);
    }
    EXPECT_EQ(FindResourceA(dll, MAKEINTRESOURCEA(134), "PNG"), nullptr);
    FreeLibrary(dll);
    for (int number : {0, 127, 134, -1, 0x10080})
        EXPECT_EQ(lumetra::findResource(number).data, nullptr) << number;
}

// Single-threaded on purpose: under Wine a DLL stays mapped after FreeLibrary while another
// thread of the process lives.
TEST(WindowsModule, LoadCreateCloseUnloadCyclesLeaveNothingLoaded) {
    for (int round = 0; round < 20; ++round) {
        lumetra::VstHost host;
        ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
        for (int i = 0; i < 10; ++i) {
            AEffect* other = host.createAnother();
            ASSERT_NE(other, nullptr);
            other->dispatcher(other, effMainsChanged, 0, 1, nullptr, 0.0f);
            host.closeEffect(other);
        }
        host.unload();
        EXPECT_EQ(GetModuleHandleA("Lumetra.dll"), nullptr) << "round " << round;
    }
}

// COM belongs to the host's threads: the plug-in undoes only its own OLE initialisation, and only
// on the thread that did it. A thread in the multithreaded model (where that initialisation
// fails) keeps its COM after the effect closes; so does a thread where the host initialised OLE
// itself and then closed an effect created on another thread.
TEST(WindowsModule, HostThreadsKeepTheirComAfterTheEffectCloses) {
    std::thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        {
            lumetra::VstHost host;
            ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
        }
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE) << "the host's COM was uninitialised";
        CoUninitialize();
        CoUninitialize();
    }).join();

    lumetra::VstHost host;
    ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();  // created on this thread
    std::thread([&] {
        ASSERT_EQ(OleInitialize(nullptr), S_OK);
        host.unload();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE) << "the host's COM was uninitialised";
        CoUninitialize();
        OleUninitialize();
    }).join();
}

lumetra::OsWindow osWindow(HWND window) { return {nullptr, reinterpret_cast<uintptr_t>(window)}; }

// The services as the size negotiation walks a host's windows: a top window holding an MDI client
// area holding a document window holding the editor's window.
TEST(Win32OsServices, WindowWalkClassNamesRectanglesResizeAndOnePaint) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND top = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW, 10, 10, 800, 600, nullptr, nullptr,
                               instance, nullptr);
    ASSERT_NE(top, nullptr);
    CLIENTCREATESTRUCT client{};
    HWND mdi = CreateWindowExA(0, "MDICLIENT", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 700, 500, top, nullptr,
                               instance, &client);
    ASSERT_NE(mdi, nullptr);
    HWND document = CreateWindowExA(0, "STATIC", "doc", WS_CHILD | WS_VISIBLE, 5, 5, 400, 300, mdi, nullptr,
                                    instance, nullptr);
    HWND editor = CreateWindowExA(0, "STATIC", "editor", WS_CHILD | WS_VISIBLE, 2, 3, 300, 200, document,
                                  nullptr, instance, nullptr);
    ASSERT_NE(editor, nullptr);

    EXPECT_EQ(lumetra::parentWindow(osWindow(editor)).id, reinterpret_cast<uintptr_t>(document));
    EXPECT_EQ(lumetra::parentWindow(osWindow(document)).id, reinterpret_cast<uintptr_t>(mdi));
    EXPECT_FALSE(lumetra::parentWindow(osWindow(top)));  // a top window has no parent
    EXPECT_FALSE(lumetra::parentWindow({}));
    char name[1024];
    ASSERT_TRUE(lumetra::windowClassName(osWindow(mdi), name, sizeof name));
    EXPECT_STREQ(name, "MDIClient");  // the class's own spelling, whatever the creator typed
    char shortName[4];
    ASSERT_TRUE(lumetra::windowClassName(osWindow(mdi), shortName, sizeof shortName));
    EXPECT_STREQ(shortName, "MDI");
    EXPECT_FALSE(lumetra::windowClassName({}, name, sizeof name));
    EXPECT_STREQ(name, "");

    lumetra::OsRect rect;
    ASSERT_TRUE(lumetra::windowScreenRect(osWindow(editor), rect));
    EXPECT_EQ(rect.width(), 300);
    EXPECT_EQ(rect.height(), 200);
    lumetra::resizeWindow(osWindow(editor), 900, 277);
    ASSERT_TRUE(lumetra::windowScreenRect(osWindow(editor), rect));
    EXPECT_EQ(rect.width(), 900);
    EXPECT_EQ(rect.height(), 277);
    RECT inParent{};
    GetWindowRect(editor, &inParent);
    MapWindowPoints(HWND_DESKTOP, document, reinterpret_cast<POINT*>(&inParent), 2);
    EXPECT_EQ(inParent.left, 2);  // kept its place
    EXPECT_EQ(inParent.top, 3);
    EXPECT_EQ(lumetra::dialogFrameHeight(), GetSystemMetrics(SM_CYDLGFRAME));

    // One pending WM_PAINT taken and dispatched per call; none left, none taken.
    ShowWindow(top, SW_SHOWNA);
    UpdateWindow(top);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    InvalidateRect(editor, nullptr, FALSE);
    EXPECT_TRUE(lumetra::dispatchOnePendingPaint(osWindow(editor), nullptr, nullptr));
    EXPECT_FALSE(lumetra::dispatchOnePendingPaint(osWindow(editor), nullptr, nullptr));

    DestroyWindow(top);
    EXPECT_FALSE(lumetra::windowScreenRect(osWindow(editor), rect));  // destroyed with its parents
    EXPECT_FALSE(lumetra::windowClassName(osWindow(editor), name, sizeof name));
}

}  // namespace
