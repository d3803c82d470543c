// The LV2 bundle's UI binary as an LV2 host meets it: made through its descriptor inside a window
// of the test's own, fed the port values a host sends it, driven by the host's idle calls, and
// compared by its pixels with the VST 2.4 module's editor showing the same values; the user's
// edits as the host receives them: port writes inside touch.
#include <gtest/gtest.h>  // before Xlib, whose None would replace a name of GoogleTest's
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <lv2/ui/ui.h>

#include <chrono>
#include <limits>
#include <thread>
#include <vector>

#include "engine/MeterValue.h"
#include "module/lv2/Lv2Ports.h"
#include "tests/editor/EditorWindowSupport.h"
#include "tests/editor/X11TestSupport.h"

namespace {

using editortest::Picture;
namespace lv2 = lumetra::lv2;

constexpr int kWidth = editortest::ModuleEditor::kWidth;
constexpr int kHeight = editortest::ModuleEditor::kHeight;

// What the host received from the UI, in order: a port write (value) or a touch (grabbed).
struct HostEvent {
    enum Kind { kWrite, kTouch } kind;
    uint32_t port;
    float value;  // the value written; 1 or 0 for a grab or its release
    bool operator==(const HostEvent&) const = default;
};
void PrintTo(const HostEvent& e, std::ostream* os) {
    *os << (e.kind == HostEvent::kWrite ? "write " : "touch ") << e.port << " " << e.value;
}

class Lv2Ui : public ::testing::Test {
protected:
    void SetUp() override {
        display = XOpenDisplay(nullptr);
        if (display == nullptr) GTEST_SKIP() << "no X display";
        module = dlopen(LUMETRA_LV2_UI_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(module, "lv2ui_descriptor"));
        ASSERT_NE(entry, nullptr);
        descriptor = entry(0);
        ASSERT_NE(descriptor, nullptr);
        EXPECT_STREQ(descriptor->URI, lv2::kUiUri);
        EXPECT_EQ(entry(1), nullptr);
        // Below where the VST 2.4 module's editor window goes, so that neither hides the other.
        parent = x11test::makeWindow(display, 0, kWidth, kHeight);
        XMoveWindow(display, parent, 0, 400);
        XSync(display, False);
    }

    void TearDown() override {
        if (handle) descriptor->cleanup(handle);
        if (display) {
            if (parent) XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    static void write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer) {
        auto* self = static_cast<Lv2Ui*>(controller);
        ASSERT_EQ(size, sizeof(float));
        ASSERT_EQ(protocol, 0u);
        self->events.push_back({HostEvent::kWrite, port, *static_cast<const float*>(buffer)});
    }
    static void touched(LV2UI_Feature_Handle self, uint32_t port, bool grabbed) {
        static_cast<Lv2Ui*>(self)->events.push_back({HostEvent::kTouch, port, grabbed ? 1.0f : 0.0f});
    }

    LV2UI_Handle instantiate(bool withParent = true, const char* pluginUri = lv2::kPluginUri) {
        const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
        const LV2_Feature touchFeature{LV2_UI__touch, &touch};
        const LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
        const LV2_Feature* features[] = {&idleFeature, &touchFeature, withParent ? &parentFeature : nullptr, nullptr};
        widget = nullptr;
        return descriptor->instantiate(descriptor, pluginUri, LUMETRA_LV2_BUNDLE "/", write, this, &widget, features);
    }

    // As a host opens the UI: made, its widget the window it shows, and idled until drawn.
    void open() {
        handle = instantiate();
        ASSERT_NE(handle, nullptr);
        ASSERT_NE(widget, nullptr);
        const auto* idleInterface = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
        ASSERT_NE(idleInterface, nullptr);
        idleCall = idleInterface->idle;
        EXPECT_EQ(x11test::windowSize(display, window()), (x11test::Size{kWidth, kHeight}));
        idle();
    }

    // The host's idle calls, past the views' 33 ms idle between them.
    void idle(int count = 3) {
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(idleCall(handle), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        EXPECT_EQ(idleCall(handle), 0);
        XSync(display, False);
    }

    void port(uint32_t index, float value) { descriptor->port_event(handle, index, sizeof value, 0, &value); }
    // The left button on the UI's window, as the server delivers it.
    void mouseDown(int x, int y) { x11test::sendButton(display, window(), ButtonPress, Button1, x, y); }
    void mouseMove(int x, int y) { x11test::sendMotion(display, window(), x, y); }
    void mouseUp(int x, int y) { x11test::sendButton(display, window(), ButtonRelease, Button1, x, y, Button1Mask); }
    Window window() const { return static_cast<Window>(reinterpret_cast<uintptr_t>(widget)); }
    Picture picture() { return editortest::windowPicture(display, window(), kWidth, kHeight); }

    Display* display = nullptr;
    Window parent = 0;
    void* module = nullptr;
    const LV2UI_Descriptor* descriptor = nullptr;
    LV2UI_Handle handle = nullptr;
    LV2UI_Widget widget = nullptr;
    int (*idleCall)(LV2UI_Handle) = nullptr;
    LV2UI_Touch touch{this, touched};
    std::vector<HostEvent> events;
};

// The control ports and level outputs a host sends the UI show as the VST 2.4 module's editor
// shows the same parameter values and the meter values its engine sends for those levels: the
// same pixels, readouts, handles, switch frames and lit LEDs alike.
TEST_F(Lv2Ui, DrawsWhatTheVstEditorDrawsForTheSameValues) {
    open();
    const Picture atOpen = picture();

    // Gain +10 dB is Volume 0.75: a window from -50 to +10 dB, which the levels cross.
    std::vector<float> levelsDb(lv2::kNumBands);
    for (uint32_t j = 0; j < lv2::kNumBands; ++j) levelsDb[j] = j == 3 ? -400.0f : -62.0f + 2.3f * float(j);
    port(lv2::kDelayPort, 150.0f);
    port(lv2::kGainPort, 10.0f);
    port(lv2::kModePort, 2.0f);
    port(lv2::kRespPort, 2.0f);
    for (uint32_t j = 0; j < lv2::kNumBands; ++j) port(lv2::kFirstLevelPort + j, levelsDb[j]);
    idle();
    const Picture shown = picture();
    EXPECT_NE(shown, atOpen);

    editortest::ModuleEditor vst;
    ASSERT_TRUE(vst.setUp()) << vst.why;
    ASSERT_TRUE(vst.open());
    vst.host.setParameter(0, 0.5f);
    vst.host.setParameter(2, 0.75f);
    vst.host.setParameter(3, 1.0f);
    vst.host.setParameter(4, 0.5f);
    for (uint32_t j = 0; j < lv2::kNumBands; ++j)
        vst.host.setParameter(1, lumetra::packedMeterValue(int32_t(j), lumetra::meterFractionOfDecibels(levelsDb[j], 0.75f)));
    vst.idle();
    EXPECT_TRUE(vst.picture() == shown) << "the LV2 UI's picture differs from the VST 2.4 editor's";
}

// A drag on the Volume slider writes the Gain port in dB between the host's touch and its release;
// the host's echo of the written value writes nothing back; a click on the Mode switch writes
// Mode; a gesture under way when the host destroys the UI still ends with the release.
TEST_F(Lv2Ui, EditsWriteTheControlPortsInsideTouch) {
    open();
    mouseDown(879, 168);
    idle(1);
    mouseMove(879, 260);  // past the track's bottom: Volume 0, -20 dB
    idle(1);
    mouseUp(879, 260);
    idle(1);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), (HostEvent{HostEvent::kTouch, lv2::kGainPort, 1.0f}));
    EXPECT_EQ(events.back(), (HostEvent{HostEvent::kTouch, lv2::kGainPort, 0.0f}));
    EXPECT_EQ(events[events.size() - 2], (HostEvent{HostEvent::kWrite, lv2::kGainPort, -20.0f}));
    for (size_t i = 1; i + 1 < events.size(); ++i) EXPECT_EQ(events[i].kind, HostEvent::kWrite) << i;

    events.clear();
    port(lv2::kGainPort, -20.0f);  // the host's echo
    idle(1);
    mouseDown(790, 20);  // Mode's right third: R
    mouseUp(790, 20);
    idle(1);
    EXPECT_EQ(events, (std::vector<HostEvent>{{HostEvent::kTouch, lv2::kModePort, 1.0f},
                                              {HostEvent::kWrite, lv2::kModePort, 2.0f},
                                              {HostEvent::kTouch, lv2::kModePort, 0.0f}}));

    events.clear();
    mouseDown(879, 80);  // Delay
    idle(1);
    mouseMove(879, 100);
    idle(1);
    descriptor->cleanup(handle);
    handle = nullptr;
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front(), (HostEvent{HostEvent::kTouch, lv2::kDelayPort, 1.0f}));
    EXPECT_EQ(events.back(), (HostEvent{HostEvent::kTouch, lv2::kDelayPort, 0.0f}));
}

// No UI without a parent window to live in, for another plug-in or without a write function; and
// what is not one float of the float protocol for a port of this plug-in changes nothing.
TEST_F(Lv2Ui, RefusesWhatItCannotShowAndIgnoresWhatIsNotItsPortValue) {
    EXPECT_EQ(instantiate(false), nullptr);
    EXPECT_EQ(instantiate(true, "urn:another:plugin"), nullptr);
    const LV2_Feature* none[] = {nullptr};
    EXPECT_EQ(descriptor->instantiate(descriptor, lv2::kPluginUri, "", nullptr, this, &widget, none), nullptr);

    open();
    const Picture atOpen = picture();
    const double twoFloats[1] = {10.0};
    const float nan = std::numeric_limits<float>::quiet_NaN(), loud = 20.0f;
    descriptor->port_event(handle, lv2::kGainPort, sizeof twoFloats, 0, twoFloats);
    descriptor->port_event(handle, lv2::kFirstLevelPort, sizeof loud, 1, &loud);  // another protocol
    descriptor->port_event(handle, lv2::kFirstLevelPort, sizeof loud, 0, nullptr);
    descriptor->port_event(handle, lv2::kNumPorts, sizeof loud, 0, &loud);
    descriptor->port_event(handle, 0xFFFFFFFFu, sizeof loud, 0, &loud);
    for (const uint32_t control : {lv2::kDelayPort, lv2::kGainPort, lv2::kModePort, lv2::kRespPort})
        port(control, nan);
    port(lv2::kFirstLevelPort, nan);
    idle();
    EXPECT_TRUE(picture() == atOpen);
    EXPECT_TRUE(events.empty());
}

}  // namespace
