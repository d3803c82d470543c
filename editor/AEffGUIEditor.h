// The editor base that joins the host's editor requests (through AEffEditor) to the toolkit's
// frame (through VSTGUIEditorInterface): the window rectangle, idle and keys passed to the frame,
// the frame's edit gestures passed to the host as begin/end edit, idle time for the host, and the
// size negotiation. The derived editor creates and releases the frame in open and close.
// UI thread (the host's editor thread), except setParameter.
#pragma once

#include <cstdint>

#include "platform/OsServices.h"
#include "plugin/AEffEditor.h"
#include "toolkit/VSTGUIEditorInterface.h"

class AudioEffectX;

class AEffGUIEditor : public AEffEditor, public VSTGUIEditorInterface {
public:
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override;  // releases a frame that the host left open

    // Host requests; UI thread. getRect answers whether or not the window is open; idle and the
    // keys do nothing while it is closed. The derived editor's open must give false (so the
    // host gets 0) when its frame has no window (CFrame::getPlatformFrame() null).
    bool getRect(ERect** rect) override;
    void idle() override;
    bool onKeyDown(VstKeyCode& keyCode) override;
    bool onKeyUp(VstKeyCode& keyCode) override;
    bool onWheel(float distance) override;
    void* getFrameWindow() override;

    // UI thread. The file descriptor of the open window's connection to the window system (X11),
    // readable when events for the window arrive; -1 while no window is open, and on Windows.
    // For hosts that watch descriptors and call idle when one is readable.
    int eventFileDescriptor() const;

    // The frame's requests; UI thread.
    void doIdleStuff() override;
    int32_t getKnobMode() const override { return knobMode; }
    void beginEdit(int32_t index) override;
    void endEdit(int32_t index) override;
    bool beforeSizeChange(const CRect& newSize, const CRect& oldSize) override;

    // How knobs follow the mouse, for every editor of the module; nothing changes it.
    static inline int32_t knobMode = 0;

protected:
    AudioEffectX* effectX() const;
    // Closes the open frame and releases the editor's reference, the frame pointer cleared first:
    // whatever the closing reaches (a gesture's end-edit at the host) finds no window. A frame
    // whose event handling is under way lives on until that handling returns.
    void releaseFrame();

    ERect rect{0, 0, 0, 0};        // filled by the derived editor from its artwork
    uint32_t lastIdleTicks;        // ms of lumetra::tickCount(): the next full idle feedback
    bool inIdleFeedback = false;   // true while waiting in the host's masterIdle

private:
    lumetra::OleSession ole;       // what the constructor's OLE initialisation did
};
