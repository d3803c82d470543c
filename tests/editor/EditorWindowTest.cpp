// The editor window of the built module in a real window system: the meter columns after a known
// signal, the edit gestures as the host receives them, host automation and program changes moving
// the controls, the readout texts, and parameter 1 values no engine sends.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "editor/ADEditor.h"
#include "tests/engine/EffectTestSupport.h"
#include "tests/editor/EditorWindowSupport.h"
#include "toolkit/CButtonState.h"

namespace {

using editortest::Image;
using editortest::Picture;

// The meter value each band's editor meter gets from the last block of the signal.
// (The engine in-process: the same code as the module's, so the same values.)
std::vector<float> expectedMeterValues(const std::vector<float>& signal) {
    lumetra::test::RecordingEffect engine;
    engine.setSampleRate(48000.0f);
    engine.setBlockSize(editortest::ModuleEditor::kBlock);
    engine.resume();
    constexpr int kBlock = editortest::ModuleEditor::kBlock;
    for (auto at = signal.begin(); signal.end() - at >= kBlock; at += kBlock)
        lumetra::test::StereoBlock(std::vector<float>(at, at + kBlock)).run(engine);
    const std::vector<float> packed = engine.meters();
    std::vector<float> values(ADEditor::kNumBands);
    const size_t first = packed.size() - ADEditor::kNumBands;
    for (int band = 0; band < ADEditor::kNumBands; ++band) {
        const float x = packed[first + static_cast<size_t>(band)];
        values[static_cast<size_t>(band)] = std::fmin((x - static_cast<float>(band)) * 2.0f, 1.0f);
    }
    return values;
}

struct Edit {
    VstInt32 opcode;
    VstInt32 index;
    float value;
    bool operator==(const Edit&) const = default;
};
void PrintTo(const Edit& e, std::ostream* os) { *os << "{" << e.opcode << ", " << e.index << ", " << e.value << "}"; }

class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!editor.setUp()) GTEST_SKIP() << editor.why;
        ASSERT_TRUE(editor.open());
        editor.idle();
        frame = editor.frameWindow();
        ASSERT_NE(frame, 0u);
        meterOff = editortest::decodeImage(131);
        meterOn = editortest::decodeImage(132);
        handle = editortest::decodeImage(130);
        switches = editortest::decodeImage(133);
        ASSERT_EQ(meterOn.height, 152);
    }

    // The begin-edit, automate and end-edit calls the host received since the last look.
    std::vector<Edit> takeEdits() {
        std::vector<Edit> edits;
        for (const lumetra::HostCall& call : editor.host.calls)
            if (call.opcode == audioMasterBeginEdit || call.opcode == audioMasterEndEdit)
                edits.push_back({call.opcode, call.index, 0.0f});
            else if (call.opcode == audioMasterAutomate)
                edits.push_back({call.opcode, call.index, call.opt});
        editor.host.calls.clear();
        return edits;
    }

    void click(int x, int y, int32_t modifiers = 0) { editor.click(x, y, modifiers); }

    // A press at (x, y), moves to each of the ys with the button held, the release at the last;
    // an idle after each event.
    void dragAt(int x, int y, std::initializer_list<int> ys) {
        editor.mouseDown(x, y);
        editor.idle(1);
        for (const int to : ys) {
            editor.mouseMove(x, to);
            editor.idle(1);
        }
        editor.mouseUp(x, ys.size() ? *(ys.end() - 1) : y);
        editor.idle(1);
    }

    // Where the handle of a slider (left 871, travel top .. top + 57) shows its top row, or -1.
    int handleTop(const Picture& picture, int sliderTop) {
        for (int y = sliderTop; y <= sliderTop + 57; ++y)
            if (editortest::showsRows(picture, handle, 872, y, 0, handle.height)) return y;
        return -1;
    }

    // Which of the three switch frames a switch at left shows, or -1.
    int switchFrame(const Picture& picture, int left) {
        for (int k = 0; k < 3; ++k)
            if (editortest::showsRows(picture, switches, left, 13, 0, 16, 16 * k)) return k;
        return -1;
    }

    void expectMeters(const Picture& picture, const std::vector<float>& values) {
        for (int band = 0; band < ADEditor::kNumBands; ++band) {
            const editortest::LitRows lit = editortest::litRows(values[static_cast<size_t>(band)]);
            const int left = editortest::meterLeft(band);
            EXPECT_TRUE(editortest::showsRows(picture, meterOff, left, 54, 0, lit.from) &&
                        editortest::showsRows(picture, meterOn, left, 54, lit.from, lit.to) &&
                        editortest::showsRows(picture, meterOff, left, 54, lit.to, 152))
                << "band " << band << " value " << values[static_cast<size_t>(band)] << " lit rows " << lit.from
                << ".." << lit.to;
        }
    }

    editortest::ModuleEditor editor;
    editortest::NativeWindow frame = 0;
    Image meterOff, meterOn, handle, switches;
};

TEST_F(EditorWindow, OpensDarkWithTheControlsAtTheEffectsValues) {
    const Picture picture = editor.picture();
    expectMeters(picture, std::vector<float>(ADEditor::kNumBands, 0.0f));
    EXPECT_EQ(switchFrame(picture, 769), 1) << "Mode M";
    EXPECT_EQ(switchFrame(picture, 816), 0) << "Resp 1";
    const int volumeTop = handleTop(picture, 160);
    EXPECT_GE(volumeTop, 188);  // value 0.5: half way down the 57-pixel travel
    EXPECT_LE(volumeTop, 189);
    EXPECT_EQ(handleTop(picture, 60), 117) << "Delay 0: the bottom of its travel";
}

TEST_F(EditorWindow, MeterColumnsShowTheValuesTheEngineSends) {
    // Two tones in both channels (Mode M sums them): one high in the upper half of its meter,
    // one low in the lower half; the other bands read what leaks and the noise floor.
    std::vector<float> signal = editortest::sine(0.3f, 1000.0, 48000);
    const std::vector<float> low = editortest::sine(0.01f, 125.0, 48000);
    for (size_t i = 0; i < signal.size(); ++i) signal[i] += low[i];
    const std::vector<float> values = expectedMeterValues(signal);
    ASSERT_GT(values[20 - 2], 0.5f) << "the 1 kHz band reads in the fold-back half";
    ASSERT_GT(values[9], 0.0f);
    ASSERT_LT(values[9], 0.5f) << "the 125 Hz band reads in the lower half";

    editor.process(signal);
    editor.idle();
    expectMeters(editor.picture(), values);

    // Silence: the detectors fall, the columns follow at the next idles.
    editor.process(std::vector<float>(48000 * 4, 0.0f));
    editor.idle();
    std::vector<float> quiet = expectedMeterValues([&] {
        std::vector<float> all = signal;
        all.resize(signal.size() + 48000 * 4, 0.0f);
        return all;
    }());
    expectMeters(editor.picture(), quiet);
}

// A meter repaints only the LEDs that change, and the window gets only those rectangles: after each
// idle the window shows exactly what a full redraw of the same state shows.
TEST_F(EditorWindow, MetersRedrawnByTheChangedSegmentsShowWhatAFullRedrawShows) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> level(-4.0f, 0.0f);  // peak 10^level: the whole meter range
    for (int round = 0; round < 30; ++round) {
        std::vector<float> signal(editortest::ModuleEditor::kBlock * static_cast<size_t>(1 + random() % 20));
        const float gain = std::pow(10.0f, level(random));
        for (float& x : signal) x = gain * std::uniform_real_distribution<float>(-1.0f, 1.0f)(random);
        if (random() % 5 == 0) std::fill(signal.begin(), signal.end(), 0.0f);
        editor.process(signal);
        editor.idle(1);
        const Picture partial = editor.picture();
        editor.exposeAll();
        editor.idle(1);
        ASSERT_TRUE(editor.picture() == partial) << "round " << round;
    }
}

TEST_F(EditorWindow, GesturesReachTheHostAsBeginAutomateEnd) {
    takeEdits();
    click(772, 20);  // Mode, left third
    EXPECT_EQ(takeEdits(), (std::vector<Edit>{{audioMasterBeginEdit, 3, 0}, {audioMasterAutomate, 3, 0.0f},
                                              {audioMasterEndEdit, 3, 0}}));
    click(790, 20);  // Mode, right third
    EXPECT_EQ(takeEdits(), (std::vector<Edit>{{audioMasterBeginEdit, 3, 0}, {audioMasterAutomate, 3, 1.0f},
                                              {audioMasterEndEdit, 3, 0}}));
    click(828, 20);  // Resp, middle third
    EXPECT_EQ(takeEdits(), (std::vector<Edit>{{audioMasterBeginEdit, 4, 0}, {audioMasterAutomate, 4, 0.5f},
                                              {audioMasterEndEdit, 4, 0}}));
    EXPECT_FLOAT_EQ(editor.host.getParameter(4), 0.5f);
    EXPECT_EQ(switchFrame(editor.picture(), 816), 1);

    // Drag the Volume handle far past the top of its travel.
    const int top = handleTop(editor.picture(), 160);
    ASSERT_GE(top, 160);
    dragAt(879, top + 5, {top - 10, 20});
    const std::vector<Edit> drag = takeEdits();
    ASSERT_GE(drag.size(), 3u);
    EXPECT_EQ(drag.front(), (Edit{audioMasterBeginEdit, 2, 0}));
    EXPECT_EQ(drag.back(), (Edit{audioMasterEndEdit, 2, 0}));
    EXPECT_EQ(drag[drag.size() - 2], (Edit{audioMasterAutomate, 2, 1.0f}));
    for (size_t i = 1; i + 1 < drag.size(); ++i) EXPECT_EQ(drag[i].opcode, audioMasterAutomate);
    EXPECT_FLOAT_EQ(editor.host.getParameter(2), 1.0f);
    EXPECT_EQ(handleTop(editor.picture(), 160), 160);

    // Control-click on the Delay slider restores its default.
    click(879, 80, kControl);
    EXPECT_EQ(takeEdits(), (std::vector<Edit>{{audioMasterBeginEdit, 0, 0}, {audioMasterAutomate, 0, 0.5f},
                                              {audioMasterEndEdit, 0, 0}}));
    EXPECT_FLOAT_EQ(editor.host.getParameter(0), 0.5f);
}

// A host may close the editor from inside any callback the window's event handling makes. For the
// begin-edit, the automation and the end-edit of a slider drag, a switch click and a wheel notch:
// the handling finishes on nothing freed (the sanitizer build would see it), the window is gone,
// every begin-edit the host saw has its end-edit with the automation inside, and the editor opens
// and takes a drag again.
TEST_F(EditorWindow, HostClosingTheEditorFromInsideACallbackBreaksNothing) {
    enum Gesture { kSliderDrag, kSwitchClick, kWheelNotch };
    struct Case {
        Gesture gesture;
        VstInt32 closeAt;
    };
    const Case cases[] = {{kSliderDrag, audioMasterBeginEdit}, {kSliderDrag, audioMasterAutomate},
                          {kSliderDrag, audioMasterEndEdit},   {kSwitchClick, audioMasterBeginEdit},
                          {kSwitchClick, audioMasterAutomate}, {kSwitchClick, audioMasterEndEdit},
                          {kWheelNotch, audioMasterBeginEdit}, {kWheelNotch, audioMasterAutomate},
                          {kWheelNotch, audioMasterEndEdit}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "gesture " << c.gesture << ", closed at opcode " << c.closeAt);
        bool closed = false;
        editor.host.onCall = [&](const lumetra::HostCall& call) {
            if (call.opcode != c.closeAt || closed) return;
            closed = true;
            editor.host.dispatch(effEditClose);
        };
        takeEdits();
        // Each step only while the window is there; the last event the window got may be the
        // one that closed it.
        auto step = [&](auto action) {
            if (closed) return;
            action();
            editor.idle(1);
        };
        switch (c.gesture) {
            case kSliderDrag:  // Volume: press high on the track, drag down, release
                step([&] { editor.mouseDown(879, 168); });
                step([&] { editor.mouseMove(879, 205); });
                step([&] { editor.mouseUp(879, 205); });
                break;
            case kSwitchClick:  // Mode: the third that changes its value; press and release in one go
                step([&] {
                    const int x = editor.host.getParameter(3) > 0.25f ? 772 : 790;
                    editor.mouseDown(x, 20);
                    editor.mouseUp(x, 20);
                });
                break;
            case kWheelNotch:  // Volume: the direction that changes its value
                step([&] { editor.wheel(879, 190, editor.host.getParameter(2) < 0.5f); });
                break;
        }
        for (int i = 0; i < 50 && !closed; ++i) editor.idle(1);  // the events still on their way
        editor.host.onCall = nullptr;
        ASSERT_TRUE(closed);
        EXPECT_EQ(editor.frameWindow(), 0u) << "the window outlived the close";

        std::map<VstInt32, int> open;
        int begins = 0;
        for (const Edit& edit : takeEdits()) {
            if (edit.opcode == audioMasterBeginEdit) ++open[edit.index], ++begins;
            if (edit.opcode == audioMasterEndEdit) {
                EXPECT_GE(--open[edit.index], 0) << "end-edit without begin-edit";
            }
            if (edit.opcode == audioMasterAutomate) {
                EXPECT_GT(open[edit.index], 0) << "automation outside the gesture";
            }
        }
        EXPECT_EQ(begins, 1);
        for (const auto& [index, depth] : open) EXPECT_EQ(depth, 0) << "parameter " << index << " left in a gesture";

        ASSERT_TRUE(editor.open());
        editor.idle();
        dragAt(879, 80, {100});  // Delay: a drag from its track
        const std::vector<Edit> drag = takeEdits();
        ASSERT_GE(drag.size(), 3u);
        EXPECT_EQ(drag.front(), (Edit{audioMasterBeginEdit, 0, 0}));
        EXPECT_EQ(drag.back(), (Edit{audioMasterEndEdit, 0, 0}));
    }

    // Closing the whole effect there, window open: the handling unwinds through nothing freed.
    for (const VstInt32 closeAt : {audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}) {
        SCOPED_TRACE(::testing::Message() << "effect closed at opcode " << closeAt);
        AEffect* effect = editor.host.createAnother();
        ASSERT_NE(effect, nullptr);
        ASSERT_EQ(editor.host.dispatch(effEditClose), 0);
        ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(editor.parent), 0.0f), 1);
        bool closed = false;
        editor.host.onCall = [&](const lumetra::HostCall& call) {
            if (call.opcode != closeAt || closed) return;
            closed = true;
            editor.host.closeEffect(effect);
        };
        auto idle = [&] {
            if (!closed) effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
        };
        auto step = [&](auto action) {
            if (closed) return;
            action();
            idle();
        };
        step([&] { editor.mouseDown(879, 168); });
        step([&] { editor.mouseMove(879, 205); });
        step([&] { editor.mouseUp(879, 205); });
        for (int i = 0; i < 200 && !closed; ++i) {  // the events still on their way
            idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        editor.host.onCall = nullptr;
        EXPECT_TRUE(closed);
        EXPECT_EQ(editor.frameWindow(), 0u);
        ASSERT_TRUE(editor.open());
    }
}

TEST_F(EditorWindow, HostAutomationAndProgramChangesMoveTheControls) {
    editor.host.setParameter(2, 1.0f);
    editor.host.setParameter(0, 0.0f);
    editor.host.setParameter(3, 0.0f);
    editor.host.setParameter(4, 1.0f);
    editor.idle(1);
    Picture picture = editor.picture();
    EXPECT_EQ(handleTop(picture, 160), 160);
    EXPECT_EQ(handleTop(picture, 60), 117);
    EXPECT_EQ(switchFrame(picture, 769), 0);
    EXPECT_EQ(switchFrame(picture, 816), 2);

    // Program 1 still holds the initial values: recalling it moves everything back and sends its
    // FeedBack of 0.5 to meter 0 (value 1: only the top segment lit).
    EXPECT_EQ(editor.host.dispatch(effSetProgram, 0, 1), 0);
    editor.idle();
    picture = editor.picture();
    EXPECT_GE(handleTop(picture, 160), 188);
    EXPECT_LE(handleTop(picture, 160), 189);
    EXPECT_EQ(switchFrame(picture, 769), 1);
    EXPECT_EQ(switchFrame(picture, 816), 0);
    std::vector<float> values(ADEditor::kNumBands, 0.0f);
    values[0] = 1.0f;
    expectMeters(picture, values);

    // The same values after the window is closed and opened again.
    editor.close();
    ASSERT_TRUE(editor.open());
    editor.idle();
    frame = editor.frameWindow();
    picture = editor.picture();
    EXPECT_EQ(switchFrame(picture, 769), 1);
    expectMeters(picture, std::vector<float>(ADEditor::kNumBands, 0.0f));  // meters start dark
}

TEST_F(EditorWindow, ParameterOneOutsideTheBandsTouchesNothing) {
    editor.host.setParameter(1, 7.25f);  // meter 7 at 0.5
    editor.idle();
    std::vector<float> values(ADEditor::kNumBands, 0.0f);
    values[7] = 0.5f;
    const Picture before = editor.picture();
    expectMeters(before, values);
    for (float bad : {32.0f, 32.75f, 1e9f, -0.25f, -1.0f, -1e9f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()}) {
        editor.host.setParameter(1, bad);
        editor.idle(1);
        EXPECT_TRUE(editor.picture() == before) << "parameter 1 = " << bad;
    }
    // The same while the window is closed, then a fresh window: dark meters, nothing else moved.
    editor.close();
    for (float bad : {40.0f, -3.0f, std::numeric_limits<float>::quiet_NaN()}) editor.host.setParameter(1, bad);
    ASSERT_TRUE(editor.open());
    editor.idle();
    frame = editor.frameWindow();
    expectMeters(editor.picture(), std::vector<float>(ADEditor::kNumBands, 0.0f));
}

#if defined(_WIN32)
// The window's own 33 ms timer brings the meter values into the views: with no effEditIdle at all,
// a loud 1 kHz block lights its column while the host's message loop runs.
TEST_F(EditorWindow, MetersMoveOnTheWindowsOwnTimerWithoutHostIdle) {
    const std::vector<float> signal = editortest::sine(0.5f, 1000.0, 48000 / 4);
    const std::vector<float> values = expectedMeterValues(signal);
    ASSERT_GT(values[18], 0.5f);
    editor.process(signal);
    const editortest::LitRows lit = editortest::litRows(values[18]);
    const int left = editortest::meterLeft(18);
    auto columnLit = [&] {
        const Picture picture = editor.picture();
        return editortest::showsRows(picture, meterOn, left, 54, lit.from, lit.to);
    };
    // The host's loop: messages as they come, the timer's among them; ten seconds at most.
    const DWORD start = GetTickCount();
    while (!columnLit() && GetTickCount() - start < 10000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    expectMeters(editor.picture(), values);
}
#endif

TEST(EditorReadouts, TextsForTheNamedValues) {
    char text[256];
    auto volume = [&](float v) { return ADEditor::volumeValueToString(v, text, nullptr), std::string(text); };
    auto delay = [&](float v) { return ADEditor::delayValueToString(v, text, nullptr), std::string(text); };
    EXPECT_EQ(volume(0.0f), "-20.0");
    EXPECT_EQ(volume(0.25f), "-10.0");
    EXPECT_EQ(volume(0.5f), "+0.0");
    EXPECT_EQ(volume(1.0f), "+20.0");
    EXPECT_EQ(delay(0.0f), "0");
    EXPECT_EQ(delay(0.5f), "150");
    EXPECT_EQ(delay(0.999f), "299");
    EXPECT_EQ(delay(1.0f), "300");
}

}  // namespace
