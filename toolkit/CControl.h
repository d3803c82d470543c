// A view with a value between min and max. The old value is what the control last drew; a new
// control starts with it apart from the value, so it draws at the first idle. User edits are
// bracketed by beginEdit/endEdit, which the frame passes to its editor with the control's tag.
// UI thread only: other threads hand values to the editor, whose idle sets them here.
#pragma once

#include "toolkit/CView.h"

class CControlListener;

// Style bits of sliders and meters.
enum CControlStyle : int32_t {
    kHorizontal = 1 << 0,
    kVertical = 1 << 1,
    kLeft = 1 << 2,
    kRight = 1 << 3,
    kTop = 1 << 4,
    kBottom = 1 << 5,
};

class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener = nullptr, int32_t tag = 0,
             CBitmap* background = nullptr);

    // Stores value clamped into min to max; NaN is ignored. Repaints at the next idle.
    virtual void setValue(float value);
    float getValue() const { return value; }
    void setOldValue(float value) { oldValue = value; }
    float getOldValue() const { return oldValue; }
    void setMin(float value) { vmin = value; }
    float getMin() const { return vmin; }
    void setMax(float value) { vmax = value; }
    float getMax() const { return vmax; }
    void setDefaultValue(float value) { defaultValue = value; }
    float getDefaultValue() const { return defaultValue; }
    void setWheelInc(float value) { wheelInc = value; }
    float getWheelInc() const { return wheelInc; }
    // Clamps the value into min to max; true when it had to.
    virtual bool bounceValue();

    void setTag(int32_t value) { tag = value; }
    int32_t getTag() const { return tag; }
    void setListener(CControlListener* value) { listener = value; }
    CControlListener* getListener() const { return listener; }

    // Dirty: marked, or the value differs from the one drawn. setDirty(true) moves the old value
    // away from the value; setDirty(false) leaves it alone (draw records what it showed).
    void setDirty(bool state = true) override;
    bool isDirty() const override;

    // The user's gesture: the frame tells its editor, once for gestures inside one another;
    // valueChanged tells the listener. A control
    // removed from its frame inside a gesture (the window closing mid-drag) ends it first, so the
    // host never keeps a begin-edit without its end-edit. Once removed it tells its listener and
    // its frame nothing more: a handler still running when the host closed the window (from the
    // gesture's own begin-edit, say) finishes on the control alone.
    virtual void beginEdit();
    virtual void endEdit();
    virtual void valueChanged();
    bool isEditing() const { return editDepth > 0; }
    void removed() override;

protected:
    // A left click with Control held: restores the default value as one complete edit.
    bool checkDefaultValue(const CButtonState& buttons);
    // One wheel or key step of size delta, as one complete edit; true when anything changed.
    bool stepValue(float delta);
    // Stores newValue (clamped) and, when that changed the value, tells the listener and asks for
    // a repaint; true when it changed. Inside an edit the caller has begun.
    bool changeValue(float newValue);
    // +1 for the up and right arrow keys, -1 for down and left, 0 for any other key.
    static float arrowDirection(const VstKeyCode& keyCode);

    CControlListener* listener;
    int32_t tag;
    float value = 0.0f;
    float oldValue = -1.0f;
    float vmin = 0.0f;
    float vmax = 1.0f;
    float defaultValue = 0.5f;
    float wheelInc = 0.1f;
    int32_t editDepth = 0;  // beginEdit calls not yet ended
};
