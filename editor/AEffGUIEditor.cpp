#include "editor/AEffGUIEditor.h"

#include <string_view>

#include "platform/OsServices.h"
#include "plugin/AudioEffectX.h"
#include "toolkit/CFrame.h"

namespace {

void paintFrameArea(void* frame, const lumetra::OsRect& area) {
    static_cast<CFrame*>(frame)->paintRect(CRect(area.left, area.top, area.right, area.bottom));
}

// The size of a window's screen rectangle, or 0 x 0 when it cannot be read.
lumetra::OsRect screenRect(lumetra::OsWindow window) {
    lumetra::OsRect rect;
    if (!lumetra::windowScreenRect(window, rect)) rect = {};
    return rect;
}

}  // namespace

// OLE for the constructing thread (the one that creates the effect). The destructor undoes it only
// when it succeeded, and only on that thread: a host that closes the effect on another thread
// keeps its own COM state there. Nothing on X11.
AEffGUIEditor::AEffGUIEditor(AudioEffect* effect)
    : AEffEditor(effect), lastIdleTicks(lumetra::tickCount()), ole(lumetra::initializeOle()) {}

// A host may close the effect with the window still open: the frame goes with the editor, so its
// window and its connection to the window system do not outlive the plug-in.
AEffGUIEditor::~AEffGUIEditor() {
    releaseFrame();
    lumetra::uninitializeOle(ole);
}

void AEffGUIEditor::releaseFrame() {
    CFrame* closing = frame;
    frame = nullptr;
    if (closing == nullptr) return;
    closing->close();
    closing->forget();
}

AudioEffectX* AEffGUIEditor::effectX() const { return dynamic_cast<AudioEffectX*>(effect); }

bool AEffGUIEditor::getRect(ERect** result) {
    if (result == nullptr) return false;
    *result = &rect;
    return true;
}

void* AEffGUIEditor::getFrameWindow() {
    if (frame == nullptr || frame->getPlatformFrame() == nullptr) return nullptr;
    return frame->getPlatformFrame()->getPlatformRepresentation();
}

void AEffGUIEditor::idle() {
    if (inIdleFeedback || frame == nullptr) return;  // re-entered from masterIdle, or closed
    frame->idle();
}

int AEffGUIEditor::eventFileDescriptor() const {
    const IPlatformFrame* platform = frame ? frame->getPlatformFrame() : nullptr;
    return platform ? lumetra::connectionFileDescriptor(platform->getOsWindow()) : -1;
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) { return frame && frame->onKeyDown(keyCode) > 0; }

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) { return frame && frame->onKeyUp(keyCode) > 0; }

bool AEffGUIEditor::onWheel(float distance) {
    if (frame == nullptr) return false;
    CPoint where(0, 0);
    frame->getCurrentMouseLocation(where);
    return frame->onWheel(where, distance, frame->getCurrentMouseButtons());
}

// Runs in full at most every 100 ms; in between it costs one 4 ms sleep. Comparisons unsigned.
void AEffGUIEditor::doIdleStuff() {
    uint32_t now = lumetra::tickCount();
    if (now < lastIdleTicks) {
        lumetra::sleepMs(4);
        now += 4;  // not read again
        if (now < lastIdleTicks - 50) return;
    }
    idle();
    if (frame && frame->getPlatformFrame())
        lumetra::dispatchOnePendingPaint(frame->getPlatformFrame()->getOsWindow(), paintFrameArea, frame);
    lastIdleTicks = now + 100;
    inIdleFeedback = true;
    if (effect) effect->masterIdle();
    inIdleFeedback = false;
}

void AEffGUIEditor::beginEdit(int32_t index) {
    if (AudioEffectX* x = effectX()) x->beginEdit(index);
}

void AEffGUIEditor::endEdit(int32_t index) {
    if (AudioEffectX* x = effectX()) x->endEdit(index);
}

// Either the host resizes its window (it can "sizeWindow"), or the plug-in grows each window from
// its own up the parent chain by the new size plus the borders of the windows below, stopping
// under an MDI client area, at a top-level window, where the borders add up to twice the dialog
// frame, or at once when they exceed 80 pixels.
bool AEffGUIEditor::beforeSizeChange(const CRect& newSize, const CRect&) {
    const auto width = static_cast<int32_t>(newSize.right - newSize.left);
    const auto height = static_cast<int32_t>(newSize.bottom - newSize.top);
    char sizeWindow[] = "sizeWindow";
    AudioEffectX* x = effectX();
    if (x && x->canHostDo(sizeWindow)) return x->sizeWindow(width, height);

    if (frame == nullptr || frame->getPlatformFrame() == nullptr) return true;
    const int32_t limit = 2 * lumetra::dialogFrameHeight();
    lumetra::OsWindow window = frame->getPlatformFrame()->getOsWindow();
    int32_t extraW = 0;
    int32_t extraH = 0;
    while (extraW != limit) {
        if (!window) return true;
        const lumetra::OsWindow parent = lumetra::parentWindow(window);
        char className[1024];
        const bool named = lumetra::windowClassName(parent, className, sizeof className);
        if (!parent || (named && std::string_view(className) == "MDIClient")) break;
        const lumetra::OsRect windowRect = screenRect(window);
        const lumetra::OsRect parentRect = screenRect(parent);
        lumetra::resizeWindow(window, width + extraW, height + extraH);
        extraW += parentRect.width() - windowRect.width();
        extraH += parentRect.height() - windowRect.height();
        if (extraW > 80 || extraH > 80) return true;
        if (extraW < 0) extraW = 0;
        if (extraH < 0) extraH = 0;
        window = parent;
    }
    if (window) lumetra::resizeWindow(window, width + extraW, height + extraH);
    return true;
}
