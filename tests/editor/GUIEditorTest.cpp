// The editor host glue over a small effect and a host callback that records every call: the
// rectangle, idle and keys with the window open and closed, edit gestures reaching the host as
// begin-edit / automate / end-edit, the size negotiation over a real parent chain, and the pacing
// of the idle feedback with a clock the test drives.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "editor/ADEditor.h"
#include "editor/AEffGUIEditor.h"
#include "platform/OsServices.h"
#include "plugin/AudioEffectX.h"
#include "tests/editor/TestImages.h"
#include "tests/editor/TestWindows.h"
#if defined(_WIN32)
#include <windows.h>
#else
#include "tests/editor/X11TestSupport.h"
#endif
#include "toolkit/CBitmap.h"
#include "toolkit/CControlListener.h"
#include "toolkit/CFrame.h"
#include "toolkit/CVerticalSlider.h"
#include "toolkit/VstKeys.h"

namespace {

struct HostCall {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    float opt;
    bool operator==(const HostCall&) const = default;
};
void PrintTo(const HostCall& c, std::ostream* os) {
    *os << "{" << c.opcode << ", " << c.index << ", " << c.value << ", " << c.opt << "}";
}

struct Host {
    std::vector<HostCall> calls;
    std::function<void()> onMasterIdle;  // what the host does in its audioMasterIdle
    VstIntPtr canDoSizeWindow = 0;
    VstIntPtr sizeWindowAnswer = 0;
    // Calls of interest to the editor; the rest (version queries and the like) are left out.
    std::vector<HostCall> editorCalls() const {
        std::vector<HostCall> result;
        for (const HostCall& c : calls)
            if (c.opcode == audioMasterAutomate || c.opcode == audioMasterBeginEdit || c.opcode == audioMasterEndEdit ||
                c.opcode == audioMasterSizeWindow || c.opcode == audioMasterIdle)
                result.push_back(c);
        return result;
    }
};
Host* host = nullptr;

VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    if (host == nullptr) return 0;
    host->calls.push_back({opcode, index, value, opt});
    switch (opcode) {
        case audioMasterVersion: return 2400;
        case audioMasterCanDo:
            return ptr && std::strcmp(static_cast<const char*>(ptr), "sizeWindow") == 0 ? host->canDoSizeWindow : 0;
        case audioMasterSizeWindow: return host->sizeWindowAnswer;
        case audioMasterIdle:
            if (host->onMasterIdle) host->onMasterIdle();
            return 0;
        default: return 0;
    }
}

class TestEffect : public AudioEffectX {
public:
    TestEffect() : AudioEffectX(hostCallback, 1, 5) {}
    void processReplacing(float**, float**, VstInt32) override {}
    void setParameter(VstInt32 index, float value) override {
        if (index >= 0 && index < 5) parameters[index] = value;
    }
    float getParameter(VstInt32 index) override { return index >= 0 && index < 5 ? parameters[index] : 0.0f; }
    float parameters[5] = {};
};

// The smallest editor: one slider (tag 2) in a 200 x 150 frame.
class TestEditor : public AEffGUIEditor, public CControlListener {
public:
    explicit TestEditor(AudioEffect* effect) : AEffGUIEditor(effect) { rect = ERect{0, 0, 150, 200}; }
    bool open(void* parent) override {
        close();
        AEffGUIEditor::open(parent);
        auto* newFrame = new CFrame(CRect(0, 0, rect.right, rect.bottom), parent, this);
        if (newFrame->getPlatformFrame() == nullptr) {
            newFrame->forget();
            AEffGUIEditor::close();
            return false;
        }
        frame = newFrame;
        auto* track = new CBitmap(129);
        auto* handle = new CBitmap(130);
        slider = new CVerticalSlider(CRect(10, 10, 26, 80), this, 2, 10, 67, handle, track, CPoint(0, 0), kBottom);
        slider->setValue(effect->getParameter(2));
        frame->addView(slider);
        track->forget();
        handle->forget();
        return true;
    }
    void close() override {
        if (frame) frame->forget();
        frame = nullptr;
        AEffGUIEditor::close();
    }
    void valueChanged(CControl* control) override {
        effect->setParameterAutomated(control->getTag(), control->getValue());
    }
    testwindows::NativeWindow window() const {
        return reinterpret_cast<testwindows::NativeWindow>(frame->getPlatformFrame()->getPlatformRepresentation());
    }
    using AEffGUIEditor::lastIdleTicks;
    CVerticalSlider* slider = nullptr;
};

uint32_t fakeNow = 0;
std::vector<uint32_t> sleeps;
int32_t fakeDialogFrame = 0;

class GUIEditor : public ::testing::Test {
protected:
    void SetUp() override {
        host = &recorder;
        lumetra::OsServiceHooks hooks;
        hooks.tickCount = [] { return fakeNow; };
        hooks.sleepMs = [](uint32_t ms) { sleeps.push_back(ms); };
        hooks.dialogFrameHeight = [] { return fakeDialogFrame; };
        lumetra::setOsServiceHooks(hooks);
        fakeNow = 1000;
        sleeps.clear();
        fakeDialogFrame = 0;
        testimages::registerImage(129, 16, 70, [](int, int) { return 0x909090u; });
        testimages::registerImage(130, 14, 12, [](int, int) { return 0xE0E0E0u; });
        effect = new TestEffect;
        editor = new TestEditor(effect);  // the effect owns it from here
    }
    void TearDown() override {
        delete effect;
        testwindows::closeAll();
        lumetra::setOsServiceHooks({});
        testimages::clearResources();
        host = nullptr;
    }
    bool openDisplay() { return testwindows::available(); }
    testwindows::NativeWindow topWindow(int width, int height, const char* className = nullptr) {
        return testwindows::makeWindow(0, width, height, className);
    }
    static void* asParent(testwindows::NativeWindow window) { return testwindows::asParent(window); }
    // Idles the editor until the host has seen count calls of interest (at most 400 ms); hands
    // them over.
    std::vector<HostCall> pump(size_t count) {
        for (int i = 0; i < 200 && recorder.editorCalls().size() < count; ++i) {
            testwindows::handleMessages();
            editor->idle();
            testwindows::sleepMs(2);
        }
        const std::vector<HostCall> calls = recorder.editorCalls();
        recorder.calls.clear();
        return calls;
    }

    Host recorder;
    TestEffect* effect = nullptr;
    TestEditor* editor = nullptr;
};

TEST_F(GUIEditor, ClosedEditorAnswersTheRectangleAndIgnoresIdleAndKeys) {
    EXPECT_NE(effect->getAeffect()->flags & effFlagsHasEditor, 0);
    ERect* rect = nullptr;
    ASSERT_TRUE(editor->getRect(&rect));
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 150);
    EXPECT_EQ(rect->right, 200);
    EXPECT_FALSE(editor->getRect(nullptr));

    VstKeyCode key{0, VKEY_UP, 0};
    editor->idle();
    EXPECT_FALSE(editor->onKeyDown(key));
    EXPECT_FALSE(editor->onKeyUp(key));
    EXPECT_FALSE(editor->onWheel(1.0f));
    EXPECT_FALSE(editor->setKnobMode(2));
    EXPECT_EQ(editor->getKnobMode(), 0);
    editor->close();  // close without open
    editor->idle();
    EXPECT_TRUE(recorder.editorCalls().empty());

    if (!openDisplay()) GTEST_SKIP() << "no window system";
    const testwindows::NativeWindow parent = topWindow(220, 170);
    ASSERT_TRUE(editor->open(asParent(parent)));
    ASSERT_TRUE(editor->open(asParent(parent)));  // twice: the first frame goes
    EXPECT_EQ(testwindows::childCount(parent), 1);
    editor->idle();
    editor->close();
    ASSERT_TRUE(editor->getRect(&rect));
    EXPECT_EQ(rect->bottom, 150);
    EXPECT_EQ(rect->right, 200);
    editor->idle();
    EXPECT_FALSE(editor->onKeyDown(key));
    EXPECT_EQ(testwindows::childCount(parent), 0);
}

TEST_F(GUIEditor, ClosingTheEffectWithTheWindowOpenLeavesNoWindow) {
    if (!openDisplay()) GTEST_SKIP() << "no window system";
    const testwindows::NativeWindow parent = topWindow(220, 170);
    ASSERT_TRUE(editor->open(asParent(parent)));
    editor->idle();
    EXPECT_EQ(testwindows::childCount(parent), 1);
    delete effect;  // deletes the editor without effEditClose
    effect = nullptr;
    EXPECT_EQ(testwindows::childCount(parent), 0);
}

TEST_F(GUIEditor, OpenFailsCleanlyForABadParent) {
    if (!openDisplay()) GTEST_SKIP() << "no window system";
    const testwindows::NativeWindow gone = topWindow(50, 50);
    testwindows::destroyWindow(gone);
#if !defined(_WIN32)
    x11test::SentinelHandler sentinel;
#endif
    EXPECT_FALSE(editor->open(asParent(gone)));
    EXPECT_FALSE(editor->open(nullptr));
    EXPECT_EQ(editor->getFrame(), nullptr);
    editor->idle();
#if !defined(_WIN32)
    EXPECT_EQ(x11test::SentinelHandler::errors, 0);
    EXPECT_TRUE(x11test::SentinelHandler::installed());
#endif
}

TEST_F(GUIEditor, GesturesReachTheHostBracketedByBeginAndEndEdit) {
    if (!openDisplay()) GTEST_SKIP() << "no window system";
    effect->parameters[2] = 0.5f;
    const testwindows::NativeWindow parent = topWindow(220, 170);
    ASSERT_TRUE(editor->open(asParent(parent)));
    editor->idle();
    const testwindows::NativeWindow window = editor->window();
    testwindows::mouseDown(window, 18, 45);
    testwindows::mouseMove(window, 18, -50);
    EXPECT_EQ(pump(2), (std::vector<HostCall>{{audioMasterBeginEdit, 2, 0, 0.0f}, {audioMasterAutomate, 2, 0, 1.0f}}));
    EXPECT_EQ(effect->parameters[2], 1.0f);
    testwindows::mouseUp(window, 18, -50);
    EXPECT_EQ(pump(1), (std::vector<HostCall>{{audioMasterEndEdit, 2, 0, 0.0f}}));

    testwindows::mouseDown(window, 18, 40, kControl);  // back to the default
    EXPECT_EQ(pump(3), (std::vector<HostCall>{{audioMasterBeginEdit, 2, 0, 0.0f},
                                              {audioMasterAutomate, 2, 0, 0.5f},
                                              {audioMasterEndEdit, 2, 0, 0.0f}}));

    // Keys from the host go to the focused slider; only a used key answers true.
    VstKeyCode up{0, VKEY_UP, 0};
    VstKeyCode letter{'x', 0, 0};
    EXPECT_TRUE(editor->onKeyDown(up));
    EXPECT_EQ(pump(3).size(), 3u);
    EXPECT_FALSE(editor->onKeyDown(letter));
    EXPECT_FALSE(editor->onKeyUp(up));

    // A wheel notch over the slider is one step, a whole edit; down undoes it.
    const float before = effect->parameters[2];
    testwindows::wheel(window, 18, 45, true);
    std::vector<HostCall> calls = pump(3);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], (HostCall{audioMasterBeginEdit, 2, 0, 0.0f}));
    EXPECT_EQ(calls[2], (HostCall{audioMasterEndEdit, 2, 0, 0.0f}));
    EXPECT_NEAR(effect->parameters[2], before + 0.1f, 1e-6f);
    testwindows::wheel(window, 18, 45, false);
    EXPECT_EQ(pump(3).size(), 3u);
    EXPECT_NEAR(effect->parameters[2], before, 1e-6f);
    editor->close();
}

// A host in touch automation writes until it hears end-edit: closing the window, or the effect,
// in the middle of a drag ends the gesture, once, for the control that began it.
TEST_F(GUIEditor, ClosingMidDragEndsTheGestureOnce) {
    if (!openDisplay()) GTEST_SKIP() << "no window system";
    const testwindows::NativeWindow parent = topWindow(220, 170);
    for (const bool closeTheEffect : {false, true}) {
        ASSERT_TRUE(editor->open(asParent(parent)));
        editor->idle();
        testwindows::mouseDown(editor->window(), 18, 45);
        testwindows::mouseMove(editor->window(), 18, 20);
        pump(2);
        if (closeTheEffect)
            effect->dispatcher(effClose, 0, 0, nullptr, 0.0f);
        else
            editor->close();
        EXPECT_EQ(recorder.editorCalls(), (std::vector<HostCall>{{audioMasterEndEdit, 2, 0, 0.0f}})) << closeTheEffect;
        recorder.calls.clear();
        editor->close();
        EXPECT_TRUE(recorder.editorCalls().empty());
    }
}

// A host may destroy its window, and so the editor's, before it closes the editor; in the middle
// of a drag at that, and with a view to redraw. Nothing fails (on X11 the errors of the copies
// to the dead window come back after the idle that sent them), and the gesture ends once (on
// Windows already when the window loses the mouse, on X11 at the close).
TEST_F(GUIEditor, AParentDestroyedBeforeCloseCostsNothing) {
    if (!openDisplay()) GTEST_SKIP() << "no window system";
    const testwindows::NativeWindow parent = topWindow(220, 170);
    ASSERT_TRUE(editor->open(asParent(parent)));
    editor->idle();
    testwindows::mouseDown(editor->window(), 18, 45);
    testwindows::mouseMove(editor->window(), 18, 20);
    pump(2);
#if !defined(_WIN32)
    x11test::SentinelHandler sentinel;
#endif
    testwindows::destroyWindow(parent);
    editor->slider->setValue(editor->slider->getValue() < 0.5f ? 1.0f : 0.0f);
    editor->idle();
    testwindows::sleepMs(20);
    editor->idle();
    editor->doIdleStuff();
    editor->close();
    std::vector<HostCall> edits = recorder.editorCalls();
    std::erase_if(edits, [](const HostCall& c) { return c.opcode == audioMasterIdle; });
    EXPECT_EQ(edits, (std::vector<HostCall>{{audioMasterEndEdit, 2, 0, 0.0f}}));
#if !defined(_WIN32)
    EXPECT_EQ(x11test::SentinelHandler::errors, 0);
#endif
}

#if defined(_WIN32)
// The frame's window class lives exactly as long as a frame does, so none outlives the module;
// key messages on the editor's window are the host's (they reach the editor through
// effEditKeyDown/effEditKeyUp only).
TEST_F(GUIEditor, WindowClassGoesWithTheLastFrameAndKeysStayTheHosts) {
    const testwindows::NativeWindow parent = topWindow(220, 170);
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&hostCallback), &module);
    auto classExists = [&] {
        WNDCLASSEXW found{};
        found.cbSize = sizeof found;
        return GetClassInfoExW(module, L"LumetraEditorFrame", &found) != 0;
    };
    TestEffect second;
    auto* other = new TestEditor(&second);  // owned by second
    ASSERT_TRUE(editor->open(asParent(parent)));
    ASSERT_TRUE(other->open(asParent(parent)));
    EXPECT_TRUE(classExists());
    editor->close();
    EXPECT_TRUE(classExists()) << "another frame still lives";

    testwindows::mouseDown(other->window(), 18, 45);  // the slider takes the focus
    testwindows::mouseUp(other->window(), 18, 45);
    pump(3);
    for (UINT message : {WM_KEYDOWN, WM_KEYUP}) SendMessageW(reinterpret_cast<HWND>(other->window()), message, VK_UP, 0);
    EXPECT_TRUE(pump(1).empty());
    other->close();
    EXPECT_FALSE(classExists());
}
#endif

// A host may call effEditIdle back from inside the idle feedback's audioMasterIdle; the editor
// then does nothing at all, not even move new values into its views: they are taken at the next idle.
TEST_F(GUIEditor, IdleCalledBackFromTheHostsIdleLeavesTheViewsAlone) {
    if (!openDisplay()) GTEST_SKIP() << "no window system";
    testimages::registerImage(128, 200, 150, [](int, int) { return 0x404040u; });
    for (int number : {131, 132, 133}) testimages::registerImage(number, 24, 48, [](int, int) { return 0x808080u; });
    TestEffect own;
    auto* window = new ADEditor(&own);  // owned by the effect
    own.parameters[2] = 0.25f;
    const testwindows::NativeWindow parent = topWindow(220, 170);
    ASSERT_TRUE(window->open(asParent(parent)));
    window->idle();
    auto* volumeSlider = dynamic_cast<CControl*>(window->getFrame()->getView(0));
    ASSERT_NE(volumeSlider, nullptr);
    ASSERT_EQ(volumeSlider->getValue(), 0.25f);

    recorder.onMasterIdle = [&] {  // host automation arrives, then the host idles its editors
        own.parameters[2] = 1.0f;
        window->setParameter(2, 1.0f);
        own.dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    };
    fakeNow = 5000;
    window->doIdleStuff();
    recorder.onMasterIdle = nullptr;
    EXPECT_EQ(volumeSlider->getValue(), 0.25f);
    window->idle();
    EXPECT_EQ(volumeSlider->getValue(), 1.0f);
    window->close();
}

TEST_F(GUIEditor, AHostThatCanSizeWindowsDoesTheResizing) {
    if (!openDisplay()) GTEST_SKIP() << "no window system";
    const testwindows::NativeWindow parent = topWindow(210, 180);
    ASSERT_TRUE(editor->open(asParent(parent)));
    recorder.canDoSizeWindow = 1;
    recorder.sizeWindowAnswer = 1;
    EXPECT_TRUE(editor->beforeSizeChange(CRect(0, 0, 300.7, 250.2), CRect(0, 0, 200, 150)));
    EXPECT_EQ(recorder.editorCalls().back(), (HostCall{audioMasterSizeWindow, 300, 250, 0.0f}));
    recorder.sizeWindowAnswer = 0;
    EXPECT_FALSE(editor->beforeSizeChange(CRect(0, 0, 300, 250), CRect(0, 0, 200, 150)));
    recorder.canDoSizeWindow = -1;  // any non-zero answer counts
    EXPECT_FALSE(editor->beforeSizeChange(CRect(0, 0, 300, 250), CRect(0, 0, 200, 150)));
    fakeDialogFrame = 10;
    EXPECT_EQ(testwindows::windowSize(editor->window()), (testwindows::Size{200, 150}));
    EXPECT_EQ(testwindows::windowSize(parent), (testwindows::Size{210, 180}));
    editor->close();
}

TEST_F(GUIEditor, WithoutTheHostTheWindowWalkGrowsTheParentChain) {
    if (!openDisplay()) GTEST_SKIP() << "no window system";
    const CRect newSize(0, 0, 300, 250);
    const CRect oldSize(0, 0, 200, 150);
    struct Case {
        const char* name;
        int32_t dialogFrame;
        int parentWidth, parentHeight;
        const char* parentClass;
        testwindows::Size frameAfter, parentAfter;
    };
    const Case cases[] = {
        // The first parent is 10 wider and 30 taller; a metric of 0 stops the walk at once.
        {"metric 0", 0, 210, 180, nullptr, {300, 250}, {210, 180}},
        {"metric 10", 10, 210, 180, nullptr, {300, 250}, {310, 280}},
        {"MDI client parent", 10, 210, 180, "MDIClient", {300, 250}, {210, 180}},
        {"class compared exactly", 10, 210, 180, "MDIClientX", {300, 250}, {310, 280}},
        {"border over 80", 10, 290, 180, nullptr, {300, 250}, {290, 180}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fakeDialogFrame = c.dialogFrame;
        const testwindows::NativeWindow parent = topWindow(c.parentWidth, c.parentHeight, c.parentClass);
        ASSERT_TRUE(editor->open(asParent(parent)));
        EXPECT_TRUE(editor->beforeSizeChange(newSize, oldSize));
        EXPECT_EQ(testwindows::windowSize(editor->window()), c.frameAfter);
        EXPECT_EQ(testwindows::windowSize(parent), c.parentAfter);
        editor->close();
    }

    // Two levels: each window grows by the new size plus the borders below it, until the borders
    // add up to twice the dialog frame (here 20 wide after the second window).
    fakeDialogFrame = 10;
    const testwindows::NativeWindow outer = topWindow(220, 190);
    const testwindows::NativeWindow inner = testwindows::makeWindow(outer, 210, 180);
    ASSERT_TRUE(editor->open(asParent(inner)));
    EXPECT_TRUE(editor->beforeSizeChange(newSize, oldSize));
    EXPECT_EQ(testwindows::windowSize(editor->window()), (testwindows::Size{300, 250}));
    EXPECT_EQ(testwindows::windowSize(inner), (testwindows::Size{310, 280}));
    EXPECT_EQ(testwindows::windowSize(outer), (testwindows::Size{320, 290}));

    // Through the frame: the walk runs first, then the frame takes the size.
    EXPECT_TRUE(editor->getFrame()->setSize(320, 260));
    EXPECT_EQ(editor->getFrame()->getViewSize(), CRect(0, 0, 320, 260));
    EXPECT_EQ(testwindows::windowSize(editor->window()), (testwindows::Size{320, 260}));
    editor->idle();
    editor->close();
    EXPECT_TRUE(editor->beforeSizeChange(newSize, oldSize)) << "no frame: nothing to resize";
}

TEST_F(GUIEditor, IdleFeedbackRunsInFullAtMostEvery100Ms) {
    auto masterIdles = [&] {
        int count = 0;
        for (const HostCall& c : recorder.calls) count += c.opcode == audioMasterIdle;
        recorder.calls.clear();
        return count;
    };
    EXPECT_EQ(editor->lastIdleTicks, 1000u);  // the clock at construction
    editor->doIdleStuff();
    EXPECT_EQ(masterIdles(), 1);
    EXPECT_TRUE(sleeps.empty());
    EXPECT_EQ(editor->lastIdleTicks, 1100u);

    fakeNow = 1040;  // within 40 ms: one 4 ms sleep and nothing else
    editor->doIdleStuff();
    EXPECT_EQ(masterIdles(), 0);
    EXPECT_EQ(sleeps, (std::vector<uint32_t>{4}));
    EXPECT_EQ(editor->lastIdleTicks, 1100u);

    fakeNow = 1046;  // 1046 + 4 reaches 1100 - 50: runs, from the clock plus the sleep
    editor->doIdleStuff();
    EXPECT_EQ(masterIdles(), 1);
    EXPECT_EQ(editor->lastIdleTicks, 1150u);

    fakeNow = 1300;
    editor->doIdleStuff();
    EXPECT_EQ(masterIdles(), 1);
    EXPECT_EQ(editor->lastIdleTicks, 1400u);
    EXPECT_EQ(sleeps.size(), 2u);
}

}  // namespace
