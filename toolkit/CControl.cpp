#include "toolkit/CControl.h"

#include <cmath>

#include "toolkit/CControlListener.h"
#include "toolkit/CFrame.h"
#include "toolkit/VstKeys.h"

CControl::CControl(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background)
    : CView(size), listener(listener), tag(tag) {
    setBackground(background);
    setDirty(true);
}

void CControl::setValue(float newValue) {
    if (std::isnan(newValue)) return;
    value = newValue < vmin ? vmin : (newValue > vmax ? vmax : newValue);
}

bool CControl::bounceValue() {
    if (value > vmax) {
        value = vmax;
        return true;
    }
    if (value < vmin) {
        value = vmin;
        return true;
    }
    return false;
}

void CControl::setDirty(bool state) {
    CView::setDirty(state);
    if (state) oldValue = value != -1.0f ? -1.0f : 0.0f;
}

bool CControl::isDirty() const { return CView::isDirty() || oldValue != value; }

// Gestures nest (a wheel step in the middle of a drag): the host sees the outermost one.
void CControl::beginEdit() {
    if (editDepth++ > 0) return;
    if (frame) frame->beginEdit(tag);
}

void CControl::endEdit() {
    if (editDepth == 0 || --editDepth > 0) return;
    if (frame) frame->endEdit(tag);
}

void CControl::removed() {
    if (editDepth > 0) {
        editDepth = 1;
        endEdit();
    }
    listener = nullptr;
    CView::removed();
}

void CControl::valueChanged() {
    if (listener) listener->valueChanged(this);
}

bool CControl::checkDefaultValue(const CButtonState& buttons) {
    if (!buttons.isLeftButton() || buttons.getModifierState() != kControl) return false;
    beginEdit();
    changeValue(defaultValue);
    endEdit();
    return true;
}

bool CControl::stepValue(float delta) {
    const float before = value;
    setValue(value + delta);
    if (value == before) return false;
    beginEdit();
    valueChanged();
    invalid();
    endEdit();
    return true;
}

bool CControl::changeValue(float newValue) {
    const float before = value;
    setValue(newValue);
    if (value == before) return false;
    valueChanged();
    invalid();
    return true;
}

float CControl::arrowDirection(const VstKeyCode& keyCode) {
    switch (keyCode.virt) {
        case VKEY_UP:
        case VKEY_RIGHT: return 1.0f;
        case VKEY_DOWN:
        case VKEY_LEFT: return -1.0f;
        default: return 0.0f;
    }
}
