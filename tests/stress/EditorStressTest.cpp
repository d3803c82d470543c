// The editor of the built module under a hostile host, in a real X server: load/unload rounds
// with the window opened, three threads at once (audio, parameters and programs, the window),
// two editors on two threads followed by an X error of the host's own, a mouse monkey that ends
// with the window closed in the middle of a drag, and a host that closes, reopens and idles the
// editor from inside the callbacks of the window's gestures.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "tests/editor/X11TestSupport.h"
#include "tests/stress/StressSupport.h"

namespace {

using lumetra::VstHost;

// As hosts with editors on several threads do, before any other X call.
const Status xThreads = XInitThreads();

// The module's drawing libraries stay loaded with it and keep font and pattern caches for the
// life of the process; emptied at the end (found through the loader: this program does not link
// them) so that LeakSanitizer reports only real leaks.
class ReleaseLibraryCaches : public ::testing::Environment {
public:
    void TearDown() override {
        call("libcairo.so.2", "cairo_debug_reset_static_data");
        call("libfontconfig.so.1", "FcFini");
    }

private:
    static void call(const char* library, const char* function) {
        void* handle = dlopen(library, RTLD_NOW | RTLD_NOLOAD);
        if (handle == nullptr) return;
        if (auto* release = reinterpret_cast<void (*)()>(dlsym(handle, function))) release();
        dlclose(handle);
    }
};
[[maybe_unused]] ::testing::Environment* const releaseCaches =
    ::testing::AddGlobalTestEnvironment(new ReleaseLibraryCaches);

constexpr int kWidth = 900;
constexpr int kHeight = 277;

void* asParent(Window window) { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }

Window firstChild(Display* display, Window parent) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned int count = 0;
    Window child = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &count) && count > 0) child = children[0];
    if (children) XFree(children);
    return child;
}

std::atomic<int> hostErrors{0};
int hostHandler(Display*, XErrorEvent*) {
    hostErrors.fetch_add(1);
    return 0;
}

// One X error of the host's own: a request on a window that does not exist.
void raiseHostError(Display* display) {
    XWindowAttributes attributes;
    XGetWindowAttributes(display, static_cast<Window>(0x7FFFFFF0), &attributes);
    XSync(display, False);
}

class EditorStress : public ::testing::Test {
protected:
    void SetUp() override {
        display = x11test::openDisplay();
        if (display == nullptr) GTEST_SKIP() << "no X display";
        parent = x11test::makeWindow(display, 0, kWidth, kHeight);
    }
    void TearDown() override {
        if (display == nullptr) return;
        XDestroyWindow(display, parent);
        XCloseDisplay(display);
    }
    Display* display = nullptr;
    Window parent = 0;
};

TEST_F(EditorStress, LoadUnloadRoundsWithTheWindowOpenLeaveNoMemoryBehind) {
    std::vector<float> block(512, 0.25f);
    size_t settled = 0;
    for (int round = 0; round < 50; ++round) {
        if (round == 5) settled = stress::heapInUse();
        VstHost host;
        ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
        stress::start(host, 44100.0f, 512);
        ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
        for (int i = 0; i < 3; ++i) {
            stress::passesThrough(host, block, block);
            host.dispatch(effEditIdle);
        }
        host.dispatch(effEditClose);
    }
    const size_t now = stress::heapInUse();
    EXPECT_LT(now, settled + 8192) << "45 rounds grew the heap by " << (now - settled) << " bytes";
}

// What a host with a real-time thread and a scripting thread does while the user opens and closes
// the window: audio passes through untouched throughout and nothing crashes.
TEST_F(EditorStress, AudioParametersAndTheWindowOnThreeThreads) {
    VstHost host;
    ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
    host.recordCalls = false;  // the callback is called from all three threads
    stress::start(host, 48000.0f, 256);
    std::atomic<bool> running{true};
    std::atomic<int> mismatches{0};
    std::thread audio([&] {
        std::mt19937 random(7);
        std::vector<float> left(256), right(256);
        while (running.load()) {
            stress::fill(left, stress::Signal::kNoise, random);
            stress::fill(right, stress::Signal::kNoise, random);
            if (!stress::passesThrough(host, left, right)) mismatches.fetch_add(1);
        }
    });
    std::thread automation([&] {
        std::mt19937 random(8);
        AEffect* e = host.effect();
        while (running.load()) {
            const auto index = static_cast<VstInt32>(random() % 5);
            e->setParameter(e, index, std::uniform_real_distribution<float>(0.0f, 1.0f)(random));
            if (random() % 16 == 0) e->dispatcher(e, effSetProgram, 0, static_cast<VstIntPtr>(random() % 16), nullptr, 0.0f);
            (void)e->getParameter(e, index);
        }
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    int opened = 0;
    while (std::chrono::steady_clock::now() < end) {
        opened += host.dispatch(effEditOpen, 0, 0, asParent(parent)) == 1;
        for (int i = 0; i < 5; ++i) {
            host.dispatch(effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        host.dispatch(effEditClose);
    }
    running.store(false);
    audio.join();
    automation.join();
    EXPECT_GT(opened, 0);
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(firstChild(display, parent), 0u) << "a window was left in the host's";
}

// X error handlers belong to the process. Two editors on two threads install and restore theirs
// around their own calls; the host's handler must be the one left, must receive the host's own
// errors meanwhile and after the module is unloaded.
TEST_F(EditorStress, TwoEditorsOnTwoThreadsGiveTheHostItsHandlerBack) {
    const Window parent2 = x11test::makeWindow(display, 0, kWidth, kHeight);
    const XErrorHandler before = XSetErrorHandler(hostHandler);
    hostErrors.store(0);
    int raised = 0;
    {
        VstHost host;
        ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
        host.recordCalls = false;
        AEffect* second = host.createAnother();
        ASSERT_NE(second, nullptr);
        std::atomic<int> running{2};
        auto editorThread = [&](AEffect* effect, Window into) {
            for (int cycle = 0; cycle < 25; ++cycle) {
                effect->dispatcher(effect, effEditOpen, 0, 0, asParent(into), 0.0f);
                for (int i = 0; i < 8; ++i) effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
                effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
            }
            running.fetch_sub(1);
        };
        std::thread one(editorThread, host.effect(), parent);
        std::thread two(editorThread, second, parent2);
        while (running.load() > 0) {
            raiseHostError(display);
            ++raised;
        }
        one.join();
        two.join();
        host.closeEffect(second);
    }  // unloads the module
    raiseHostError(display);
    ++raised;
    EXPECT_EQ(XSetErrorHandler(before), hostHandler) << "the handler left installed is not the host's";
    EXPECT_EQ(hostErrors.load(), raised);
    XDestroyWindow(display, parent2);
}

// Random presses, drags, releases, wheel steps and Control-clicks over the window, then a press on
// a slider and the window closed before the release: every begin-edit has its end-edit, and every
// automation from the window lies inside its control's gesture.
TEST_F(EditorStress, MouseMonkeyLeavesNoGestureOpen) {
    VstHost host;
    ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
    stress::start(host, 44100.0f, 512);
    ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
    const Window window = firstChild(display, parent);
    ASSERT_NE(window, 0u);
    std::mt19937 random(11);
    // Mostly over the controls: the sliders at the right edge, the two switches at the top.
    auto somewhere = [&](int& x, int& y) {
        switch (random() % 4) {
            case 0: x = 865 + static_cast<int>(random() % 25), y = 40 + static_cast<int>(random() % 200); break;
            case 1: x = 765 + static_cast<int>(random() % 90), y = 5 + static_cast<int>(random() % 40); break;
            default: x = static_cast<int>(random() % kWidth) - 20, y = static_cast<int>(random() % kHeight) - 20;
        }
    };
    host.calls.clear();
    for (int event = 0; event < 1500; ++event) {
        int x = 0, y = 0;
        somewhere(x, y);
        const unsigned int state = random() % 5 == 0 ? ControlMask : 0;
        switch (random() % 4) {
            case 0: x11test::sendButton(display, window, ButtonPress, 1 + random() % 5, x, y, state); break;
            case 1: x11test::sendButton(display, window, ButtonRelease, 1 + random() % 3, x, y, Button1Mask); break;
            default: x11test::sendMotion(display, window, x, y); break;
        }
        if (event % 8 == 0) host.dispatch(effEditIdle);
    }
    x11test::sendButton(display, window, ButtonRelease, Button1, 0, 0, Button1Mask);
    host.dispatch(effEditIdle);
    const size_t beforeDrag = host.countCalls(audioMasterBeginEdit);
    x11test::sendButton(display, window, ButtonPress, Button1, 878, 200);  // the Volume slider
    x11test::sendMotion(display, window, 878, 150);
    for (int i = 0; i < 100 && host.countCalls(audioMasterBeginEdit) == beforeDrag; ++i) host.dispatch(effEditIdle);
    ASSERT_GT(host.countCalls(audioMasterBeginEdit), beforeDrag) << "the last drag began no gesture";
    host.dispatch(effEditClose);

    std::map<VstInt32, int> open;
    size_t begins = 0;
    for (const lumetra::HostCall& call : host.calls) {
        if (call.opcode == audioMasterBeginEdit) ++open[call.index], ++begins;
        if (call.opcode == audioMasterEndEdit) {
            ASSERT_GE(--open[call.index], 0) << "end-edit without begin-edit";
        }
        if (call.opcode == audioMasterAutomate) {
            EXPECT_GT(open[call.index], 0) << "automation outside a gesture";
        }
    }
    EXPECT_GT(begins, 10u);
    for (const auto& [index, depth] : open) EXPECT_EQ(depth, 0) << "parameter " << index << " left in a gesture";
}

// Every begin-edit has its end-edit, and every automation from the window lies inside its
// control's gesture.
void expectBalancedGestures(const std::vector<lumetra::HostCall>& calls) {
    std::map<VstInt32, int> open;
    for (const lumetra::HostCall& call : calls) {
        if (call.opcode == audioMasterBeginEdit) ++open[call.index];
        if (call.opcode == audioMasterEndEdit) {
            ASSERT_GE(--open[call.index], 0) << "end-edit without begin-edit";
        }
        if (call.opcode == audioMasterAutomate) {
            EXPECT_GT(open[call.index], 0) << "automation outside a gesture";
        }
    }
    for (const auto& [index, depth] : open) EXPECT_EQ(depth, 0) << "parameter " << index << " left in a gesture";
}

// A host that answers the window's gestures from inside their callbacks: it closes the editor,
// closes and reopens it, or idles it, while presses, drags, releases and wheel notches keep
// coming. Nothing touches freed memory (the sanitizer build runs this too), the gestures stay
// balanced, and the host's X error handler is the one left installed, having seen no error.
TEST_F(EditorStress, HostClosingReopeningAndIdlingTheEditorFromCallbacks) {
    VstHost host;
    ASSERT_TRUE(host.load(LUMETRA_MODULE_PATH)) << host.error();
    stress::start(host, 44100.0f, 512);
    const XErrorHandler before = XSetErrorHandler(hostHandler);
    hostErrors.store(0);
    std::mt19937 random(13);
    int closes = 0;
    int depth = 0;
    host.onCall = [&](const lumetra::HostCall& call) {
        if (call.opcode != audioMasterBeginEdit && call.opcode != audioMasterAutomate && call.opcode != audioMasterEndEdit)
            return;
        if (depth > 2) return;  // the host's own reactions nest, but not without end
        ++depth;
        switch (random() % 6) {
            case 0:
                host.dispatch(effEditClose);
                ++closes;
                break;
            case 1:
                host.dispatch(effEditClose);
                host.dispatch(effEditOpen, 0, 0, asParent(parent));
                ++closes;
                break;
            case 2: host.dispatch(effEditIdle); break;
            default: break;
        }
        --depth;
    };
    host.calls.clear();
    Window window = 0;
    for (int event = 0; event < 3000; ++event) {
        if (window == 0) {
            ASSERT_EQ(host.dispatch(effEditOpen, 0, 0, asParent(parent)), 1);
            window = firstChild(display, parent);
            ASSERT_NE(window, 0u);
        }
        // Over the sliders and the switches, where every event is part of a gesture.
        const int x = random() % 2 ? 865 + static_cast<int>(random() % 25) : 765 + static_cast<int>(random() % 90);
        const int y = x >= 865 ? 40 + static_cast<int>(random() % 200) : 5 + static_cast<int>(random() % 40);
        switch (random() % 5) {
            case 0: x11test::sendButton(display, window, ButtonPress, Button1, x, y); break;
            case 1: x11test::sendButton(display, window, ButtonRelease, Button1, x, y, Button1Mask); break;
            case 2: x11test::sendButton(display, window, ButtonPress, random() % 2 ? Button4 : Button5, x, y); break;
            default: x11test::sendMotion(display, window, x, y); break;
        }
        if (event % 4 == 0) {
            host.dispatch(effEditIdle);
            window = firstChild(display, parent);  // the window changes only inside the idle
        }
    }
    host.onCall = nullptr;
    host.dispatch(effEditClose);
    XSync(display, False);
    EXPECT_GT(closes, 20);
    EXPECT_EQ(firstChild(display, parent), 0u) << "a window was left in the host's";
    expectBalancedGestures(host.calls);
    EXPECT_EQ(XSetErrorHandler(before), hostHandler) << "the handler left installed is not the host's";
    EXPECT_EQ(hostErrors.load(), 0);
}

}  // namespace
