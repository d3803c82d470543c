// The frame in a real X server: a child window of a window the test made, events sent to it,
// the edit gestures its controls report, what it shows, and how it fails.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/OsServices.h"
#include "tests/editor/TestImages.h"
#include "tests/editor/X11TestSupport.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CControlListener.h"
#include "toolkit/CFrame.h"
#include "toolkit/CHorizontalSwitch.h"
#include "toolkit/CParamDisplay.h"
#include "toolkit/CVerticalSlider.h"
#include "toolkit/VSTGUIEditorInterface.h"
#include "toolkit/VstKeys.h"

namespace {

using x11test::SentinelHandler;

// Records the frame's and the controls' reports in one sequence.
class Recorder : public VSTGUIEditorInterface, public CControlListener {
public:
    void beginEdit(int32_t index) override { log.push_back("begin " + std::to_string(index)); }
    void endEdit(int32_t index) override { log.push_back("end " + std::to_string(index)); }
    void valueChanged(CControl* control) override {
        char text[64];
        std::snprintf(text, sizeof text, "value %d %g", control->getTag(), static_cast<double>(control->getValue()));
        log.emplace_back(text);
    }
    std::vector<std::string> log;
};

constexpr uint32_t kSwitchColours[3] = {0x110000, 0x002200, 0x000033};

class Frame : public ::testing::Test {
protected:
    void SetUp() override {
        display = x11test::openDisplay();
        if (display == nullptr) GTEST_SKIP() << "no X display";
        testimages::registerImage(128, 200, 150, [](int, int) { return 0x404040u; });
        testimages::registerImage(129, 16, 70, [](int, int) { return 0x909090u; });
        testimages::registerImage(130, 14, 12, [](int, int) { return 0xE0E0E0u; });
        testimages::registerImage(133, 24, 48, [](int, int y) { return kSwitchColours[y / 16]; });
        parent = x11test::makeWindow(display, 0, 220, 170);
        frame = new CFrame(CRect(0, 0, 200, 150), reinterpret_cast<void*>(parent), &recorder);
        ASSERT_NE(frame->getPlatformFrame(), nullptr);
        window = static_cast<Window>(reinterpret_cast<uintptr_t>(frame->getPlatformFrame()->getPlatformRepresentation()));

        auto* background = new CBitmap(128);
        frame->setBackground(background);
        background->forget();
        auto* track = new CBitmap(129);
        auto* handle = new CBitmap(130);
        auto* switchImage = new CBitmap(133);
        slider = new CVerticalSlider(CRect(10, 10, 26, 80), &recorder, 2, 10, 67, handle, track, CPoint(0, 0), kBottom);
        slider->setOffsetHandle(CPoint(1, 0));
        slider->setValue(0.5f);
        slider->setDefaultValue(0.5f);
        frame->addView(slider);
        modeSwitch = new CHorizontalSwitch(CRect(50, 10, 74, 26), &recorder, 3, 3, 16, 3, switchImage);
        frame->addView(modeSwitch);
        track->forget();
        handle->forget();
        switchImage->forget();
        frame->idle();
    }

    void TearDown() override {
        if (frame) frame->forget();
        if (display) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
        testimages::clearResources();
    }

    // The frame's own connection: what it sends and receives travels apart from the test's.
    Display* frameDisplay() const { return static_cast<Display*>(frame->getPlatformFrame()->getOsWindow().connection); }

    // Every event the test has sent is in the frame's queue: the server has handled the sends
    // (the test's round trip), and its answer to the frame's own round trip comes after them.
    void deliverSentEvents() {
        XSync(display, False);
        XSync(frameDisplay(), False);
    }

    // What the events sent so far made the frame report, after one idle handled them.
    std::vector<std::string> takeLog() {
        deliverSentEvents();
        frame->idle();
        std::vector<std::string> log;
        log.swap(recorder.log);
        return log;
    }

    // A pixel of the window once the server has drawn everything the frame sent: the frame's
    // connection and the test's are served in no fixed order, so the frame's round trip first.
    uint32_t shownPixel(int x, int y) {
        XSync(frameDisplay(), False);
        XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (image == nullptr) return 0xFFFFFFFF;
        const uint32_t value = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFFu;
        XDestroyImage(image);
        return value;
    }

    Display* display = nullptr;
    Window parent = 0;
    Window window = 0;
    Recorder recorder;
    CFrame* frame = nullptr;
    CVerticalSlider* slider = nullptr;
    CHorizontalSwitch* modeSwitch = nullptr;
};

TEST_F(Frame, IsAChildWindowThatShowsItsViews) {
    Window root = 0, parentOfFrame = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    ASSERT_TRUE(XQueryTree(display, window, &root, &parentOfFrame, &children, &count));
    if (children) XFree(children);
    EXPECT_EQ(parentOfFrame, parent);
    EXPECT_EQ(x11test::windowSize(display, window), (x11test::Size{200, 150}));

    EXPECT_EQ(shownPixel(100, 100), 0x404040u);       // background
    EXPECT_EQ(shownPixel(62, 18), kSwitchColours[0]);  // value 0: frame 0
    // Value 0.5 puts the handle's top edge at 10 + 28.5 rounded, one pixel in from the track.
    EXPECT_EQ(shownPixel(11, 39), 0xE0E0E0u);
    EXPECT_EQ(shownPixel(10, 39), 0x909090u);
    EXPECT_EQ(shownPixel(11, 38), 0x909090u);

    // A value set from outside shows at the next idle, and only after it.
    modeSwitch->setValue(1.0f);
    EXPECT_EQ(shownPixel(62, 18), kSwitchColours[0]);
    frame->idle();
    XSync(display, False);
    EXPECT_EQ(shownPixel(62, 18), kSwitchColours[2]);
}

TEST_F(Frame, SwitchClicksReportTheirThirdAsOneEdit) {
    using Log = std::vector<std::string>;
    x11test::sendButton(display, window, ButtonPress, Button1, 62, 18);
    x11test::sendButton(display, window, ButtonRelease, Button1, 62, 18, Button1Mask);
    EXPECT_EQ(takeLog(), (Log{"begin 3", "value 3 0.5", "end 3"}));
    x11test::sendButton(display, window, ButtonPress, Button1, 73, 12);
    x11test::sendButton(display, window, ButtonRelease, Button1, 73, 12, Button1Mask);
    EXPECT_EQ(takeLog(), (Log{"begin 3", "value 3 1", "end 3"}));
    x11test::sendButton(display, window, ButtonPress, Button1, 50, 25);
    x11test::sendButton(display, window, ButtonRelease, Button1, 50, 25, Button1Mask);
    EXPECT_EQ(takeLog(), (Log{"begin 3", "value 3 0", "end 3"}));
    // A click that changes nothing is still a bracketed gesture, without a value change.
    x11test::sendButton(display, window, ButtonPress, Button1, 51, 20);
    x11test::sendButton(display, window, ButtonRelease, Button1, 51, 20, Button1Mask);
    EXPECT_EQ(takeLog(), (Log{"begin 3", "end 3"}));
    XSync(display, False);
    EXPECT_EQ(shownPixel(62, 18), kSwitchColours[0]);
}

TEST_F(Frame, SliderDragReportsBeginChangesEnd) {
    using Log = std::vector<std::string>;
    // Grab the handle (top edge at y 39), move it up 9 pixels, then far past the top. Waiting
    // motion events are merged into the newest, so the test lets each one arrive.
    x11test::sendButton(display, window, ButtonPress, Button1, 18, 45);
    EXPECT_EQ(takeLog(), (Log{"begin 2"}));
    x11test::sendMotion(display, window, 18, 36);
    EXPECT_EQ(takeLog(), (Log{"value 2 0.649123"}));  // handle top 30: 1 - (30 - 10) / 57
    x11test::sendMotion(display, window, 18, -40);
    x11test::sendButton(display, window, ButtonRelease, Button1, 18, -40, Button1Mask);
    EXPECT_EQ(takeLog(), (Log{"value 2 1", "end 2"}));
    XSync(display, False);
    EXPECT_EQ(shownPixel(11, 10), 0xE0E0E0u);  // the handle drawn at the top

    // A press on the track away from the handle centres the handle on the pointer.
    x11test::sendButton(display, window, ButtonPress, Button1, 18, 73);
    x11test::sendButton(display, window, ButtonRelease, Button1, 18, 73, Button1Mask);
    const Log jump = takeLog();
    ASSERT_EQ(jump.size(), 3u) << ::testing::PrintToString(jump);
    EXPECT_EQ(jump[1], "value 2 0");  // handle top 67: the bottom of its travel
}

TEST_F(Frame, WheelStepsAndControlClickAreEditsToo) {
    using Log = std::vector<std::string>;
    x11test::sendButton(display, window, ButtonPress, Button5, 18, 20);  // one notch down
    EXPECT_EQ(takeLog(), (Log{"begin 2", "value 2 0.4", "end 2"}));
    x11test::sendButton(display, window, ButtonPress, Button4, 60, 15);  // one notch up: next position
    EXPECT_EQ(takeLog(), (Log{"begin 3", "value 3 0.5", "end 3"}));
    EXPECT_FALSE(frame->onWheel(CPoint(150, 120), 1.0f, 0)) << "no view there";

    x11test::sendButton(display, window, ButtonPress, Button1, 18, 20, ControlMask);
    x11test::sendButton(display, window, ButtonRelease, Button1, 18, 20, ControlMask | Button1Mask);
    EXPECT_EQ(takeLog(), (Log{"begin 2", "value 2 0.5", "end 2"}));
    EXPECT_FLOAT_EQ(slider->getValue(), 0.5f);
    // Control with the right button is no reset (and no edit).
    x11test::sendButton(display, window, ButtonPress, Button3, 18, 20, ControlMask);
    EXPECT_TRUE(takeLog().empty());
}

// What happens inside a drag belongs to it: a second press before the release (a lost release)
// and a wheel step give the host no gesture of their own.
TEST_F(Frame, PressesAndWheelStepsInsideADragStayOneGesture) {
    using Log = std::vector<std::string>;
    x11test::sendButton(display, window, ButtonPress, Button1, 18, 45);  // on the handle: no change
    x11test::sendButton(display, window, ButtonPress, Button1, 18, 45);
    x11test::sendButton(display, window, ButtonPress, Button4, 18, 45);
    x11test::sendButton(display, window, ButtonRelease, Button1, 18, 45, Button1Mask);
    EXPECT_EQ(takeLog(), (Log{"begin 2", "value 2 0.6", "end 2"}));
}

TEST_F(Frame, KeysGoToTheLastPressedControlAndSayWhetherTheyWereUsed) {
    using Log = std::vector<std::string>;
    VstKeyCode up{0, VKEY_UP, 0};
    VstKeyCode letter{'a', 0, 0};
    EXPECT_LE(frame->onKeyDown(up), 0) << "nothing has the focus yet";

    x11test::sendButton(display, window, ButtonPress, Button1, 18, 45);
    x11test::sendButton(display, window, ButtonRelease, Button1, 18, 45, Button1Mask);
    takeLog();
    EXPECT_GT(frame->onKeyDown(up), 0);
    EXPECT_EQ(takeLog(), (Log{"begin 2", "value 2 0.6", "end 2"}));
    EXPECT_LE(frame->onKeyDown(letter), 0);
    EXPECT_LE(frame->onKeyUp(up), 0);

    // Shift makes the step finer.
    VstKeyCode shiftDown{0, VKEY_DOWN, MODIFIER_SHIFT};
    EXPECT_GT(frame->onKeyDown(shiftDown), 0);
    EXPECT_EQ(takeLog(), (Log{"begin 2", "value 2 0.59", "end 2"}));
}

// The host's shortcuts keep working over the editor: its window has the focus, the pointer is over
// the frame, and the key goes on up to the host, which passes the editor what it wants.
TEST_F(Frame, KeysTypedOverTheWindowReachTheHostsWindow) {
    XSelectInput(display, parent, KeyPressMask);
    x11test::typeKeyAt(display, parent, window, XK_space);
    frame->idle();
    int pressesAtHost = 0;
    XEvent event;
    while (XCheckTypedWindowEvent(display, parent, KeyPress, &event)) ++pressesAtHost;
    EXPECT_EQ(pressesAtHost, 1);
    for (int i = 0; i < 20; ++i) frame->idle();
    EXPECT_TRUE(recorder.log.empty());
}

TEST_F(Frame, OnePendingPaintIsTakenAndHandedOver) {
    frame->idle();
    XEvent event{};
    event.xexpose.type = Expose;
    event.xexpose.window = window;
    event.xexpose.x = 5;
    event.xexpose.y = 6;
    event.xexpose.width = 7;
    event.xexpose.height = 8;
    XSendEvent(display, window, False, ExposureMask, &event);
    XSendEvent(display, window, False, ExposureMask, &event);
    deliverSentEvents();
    std::vector<lumetra::OsRect> painted;
    auto record = [](void* context, const lumetra::OsRect& area) {
        static_cast<std::vector<lumetra::OsRect>*>(context)->push_back(area);
    };
    const lumetra::OsWindow own = frame->getPlatformFrame()->getOsWindow();
    lumetra::dispatchOnePendingPaint(own, record, &painted);
    ASSERT_EQ(painted.size(), 1u);  // one at a time
    EXPECT_EQ(painted[0].left, 5);
    EXPECT_EQ(painted[0].top, 6);
    EXPECT_EQ(painted[0].right, 12);
    EXPECT_EQ(painted[0].bottom, 14);
    EXPECT_TRUE(lumetra::dispatchOnePendingPaint(own, record, &painted));
    EXPECT_FALSE(lumetra::dispatchOnePendingPaint(own, record, &painted));
    EXPECT_FALSE(lumetra::dispatchOnePendingPaint({}, record, &painted));
}

TEST_F(Frame, SizeChangesAskTheEditorFirst) {
    struct Refusing : Recorder {
        bool beforeSizeChange(const CRect& newSize, const CRect& oldSize) override {
            asked = newSize.getWidth() == 300 && oldSize.getWidth() == 200;
            return allow;
        }
        bool asked = false;
        bool allow = false;
    } editor;
    CFrame* second = new CFrame(CRect(0, 0, 200, 150), reinterpret_cast<void*>(parent), &editor);
    const auto id = static_cast<Window>(reinterpret_cast<uintptr_t>(second->getPlatformFrame()->getPlatformRepresentation()));
    EXPECT_FALSE(second->setSize(300, 250));
    EXPECT_TRUE(editor.asked);
    EXPECT_EQ(second->getViewSize(), CRect(0, 0, 200, 150));
    editor.allow = true;
    EXPECT_TRUE(second->setSize(300, 250));
    EXPECT_EQ(x11test::windowSize(display, id), (x11test::Size{300, 250}));
    second->idle();
    second->forget();
}

TEST_F(Frame, ClosingLeavesNoWindowAndNoHandlerBehind) {
    const Window id = window;
    SentinelHandler sentinel;
    frame->idle();
    frame->forget();
    frame = nullptr;
    EXPECT_FALSE(x11test::windowExists(display, id));
    EXPECT_EQ(x11test::childCount(display, parent), 0);
    EXPECT_TRUE(SentinelHandler::installed());
}

// Views that want idle get it every 33 ms of the frame's idles, not at every host idle; a dirty
// view is redrawn by the idle that finds it dirty.
TEST(FrameIdle, RunsTheViewIdleEvery33Ms) {
    Display* display = x11test::openDisplay();
    if (display == nullptr) GTEST_SKIP() << "no X display";
    static uint32_t now = 5000;
    lumetra::OsServiceHooks hooks;
    hooks.tickCount = [] { return now; };
    lumetra::setOsServiceHooks(hooks);
    struct IdleView : CView {
        IdleView() : CView(CRect(0, 0, 10, 10)) { setWantsIdle(true); }
        void onIdle() override { ++idles; }
        void draw(CDrawContext*) override {
            ++drawings;
            setDirty(false);
        }
        int idles = 0;
        int drawings = 0;
    };
    Recorder recorder;
    const Window parent = x11test::makeWindow(display, 0, 50, 50);
    CFrame* frame = new CFrame(CRect(0, 0, 40, 40), reinterpret_cast<void*>(parent), &recorder);
    auto* view = new IdleView;
    frame->addView(view);
    int idles[6] = {};
    const uint32_t times[6] = {5000, 5010, 5032, 5033, 5050, 5070};
    int drawnFirst = 0;
    for (int i = 0; i < 6; ++i) {
        now = times[i];
        frame->idle();
        idles[i] = view->idles;
        if (i == 0) drawnFirst = view->drawings;
    }
    EXPECT_EQ(std::vector<int>(idles, idles + 6), (std::vector<int>{1, 1, 1, 2, 2, 3}));
    EXPECT_GE(drawnFirst, 1);  // once, plus once per Expose of the newly mapped window
    EXPECT_EQ(view->drawings, drawnFirst) << "redrawn without a change";
    view->setDirty(true);
    frame->idle();
    EXPECT_EQ(view->drawings, drawnFirst + 1);
    frame->forget();
    lumetra::setOsServiceHooks({});
    XDestroyWindow(display, parent);
    XCloseDisplay(display);
}

int openFileCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

// Each frame has its own connection and window; both go with it, however often it comes and goes.
TEST(FrameCreation, ManyOpenCloseCyclesLeaveNothingBehind) {
    Display* display = x11test::openDisplay();
    if (display == nullptr) GTEST_SKIP() << "no X display";
    Recorder recorder;
    const Window parent = x11test::makeWindow(display, 0, 60, 60);
    const int filesBefore = openFileCount();
    for (int i = 0; i < 50; ++i) {
        CFrame* frame = new CFrame(CRect(0, 0, 40, 40), reinterpret_cast<void*>(parent), &recorder);
        ASSERT_NE(frame->getPlatformFrame(), nullptr);
        frame->addView(new CParamDisplay(CRect(0, 0, 40, 12)));
        frame->idle();
        frame->forget();
    }
    EXPECT_EQ(openFileCount(), filesBefore);
    EXPECT_EQ(x11test::childCount(display, parent), 0);
    XDestroyWindow(display, parent);
    XCloseDisplay(display);
}

// Creation that cannot succeed gives a frame without a window, and the host's error handler
// sees nothing of it: a stale window id, no window id, no display.
TEST(FrameCreation, FailsCleanlyWithoutAUsableParentOrDisplay) {
    Display* display = x11test::openDisplay();
    if (display == nullptr) GTEST_SKIP() << "no X display";
    Recorder recorder;
    const Window gone = x11test::makeWindow(display, 0, 50, 50);
    XDestroyWindow(display, gone);
    XSync(display, False);
    {
        SentinelHandler sentinel;
        for (void* parent : {reinterpret_cast<void*>(static_cast<uintptr_t>(gone)), static_cast<void*>(nullptr),
                             reinterpret_cast<void*>(static_cast<uintptr_t>(0x7FFFFFF0))}) {
            CFrame* frame = new CFrame(CRect(0, 0, 100, 100), parent, &recorder);
            EXPECT_EQ(frame->getPlatformFrame(), nullptr);
            frame->idle();
            VstKeyCode key{0, VKEY_UP, 0};
            EXPECT_LE(frame->onKeyDown(key), 0);
            CPoint where;
            EXPECT_FALSE(frame->getCurrentMouseLocation(where));
            EXPECT_TRUE(frame->addView(new CParamDisplay(CRect(0, 0, 10, 10))));
            frame->forget();
        }
        EXPECT_EQ(SentinelHandler::errors, 0);
        EXPECT_TRUE(SentinelHandler::installed());
    }

    const Window parent = x11test::makeWindow(display, 0, 50, 50);
    const char* saved = std::getenv("DISPLAY");
    const std::string displayName = saved ? saved : "";
    setenv("DISPLAY", ":4711", 1);
    CFrame* frame = new CFrame(CRect(0, 0, 100, 100), reinterpret_cast<void*>(parent), &recorder);
    setenv("DISPLAY", displayName.c_str(), 1);
    EXPECT_EQ(frame->getPlatformFrame(), nullptr);
    frame->forget();
    EXPECT_EQ(x11test::childCount(display, parent), 0);
    XDestroyWindow(display, parent);
    XCloseDisplay(display);
}

}  // namespace
