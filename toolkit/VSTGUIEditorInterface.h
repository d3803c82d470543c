// How a frame talks back to the editor that owns it. UI thread.
#pragma once

#include <cstdint>

#include "toolkit/CRect.h"

class CFrame;

class VSTGUIEditorInterface {
public:
    // A view asks the editor for idle time while it waits (for example in a modal loop).
    virtual void doIdleStuff() {}
    // The frame's own timer is due (Windows): the editor brings the values it stores for the
    // views into them, before the frame runs the views' idle and redraws.
    virtual void beforeTimerIdle() {}
    // How knobs follow the mouse; 0, circular.
    virtual int32_t getKnobMode() const { return 0; }
    // A control's user edit starts or ends; index is the control's tag.
    virtual void beginEdit(int32_t /*index*/) {}
    virtual void endEdit(int32_t /*index*/) {}
    // Asked before the frame changes its size; false keeps the old size.
    virtual bool beforeSizeChange(const CRect& /*newSize*/, const CRect& /*oldSize*/) { return true; }
    virtual CFrame* getFrame() const { return frame; }
    virtual ~VSTGUIEditorInterface() = default;

protected:
    VSTGUIEditorInterface() = default;
    CFrame* frame = nullptr;  // the open window's frame; null while none is open
};
