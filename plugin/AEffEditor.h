// The editor interface the dispatcher talks to: the host's editor requests become these virtual
// operations. The GUI editor derives from it; the default answers are "no editor window".
// UI thread, except setParameter (see AEffGUIEditor / ADEditor).
#pragma once

#include "platform/vst24.h"

class AudioEffect;

class AEffEditor {
public:
    // Attaches itself to the effect (which then owns it) and raises effFlagsHasEditor.
    explicit AEffEditor(AudioEffect* effect);
    // Detaches itself when the effect still names it: an editor whose own constructor throws
    // leaves no dangling editor behind in the effect.
    virtual ~AEffEditor();

    AEffEditor(const AEffEditor&) = delete;
    AEffEditor& operator=(const AEffEditor&) = delete;

    virtual AudioEffect* getEffect() { return effect; }
    virtual bool getRect(ERect** rect) {
        if (rect) *rect = nullptr;
        return false;
    }
    virtual bool open(void* ptr) {
        systemWindow = ptr;
        return false;
    }
    virtual void close() { systemWindow = nullptr; }
    virtual bool isOpen() { return systemWindow != nullptr; }
    // The window the editor made inside the parent window (an X11 window id, or an HWND), for a
    // format whose host embeds that window itself (an LV2 UI's widget); null while closed.
    virtual void* getFrameWindow() { return nullptr; }
    virtual void idle() {}
    virtual bool onKeyDown(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool onKeyUp(VstKeyCode& /*keyCode*/) { return false; }
    virtual bool onWheel(float /*distance*/) { return false; }
    virtual bool setKnobMode(VstInt32 /*val*/) { return false; }

    // Called by the effect after it stored a parameter value; any thread. Nothing here.
    virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}

protected:
    AudioEffect* effect;
    void* systemWindow = nullptr;
};
