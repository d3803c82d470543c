// Mouse buttons and modifier keys of an event, and what a view did with a mouse event.
#pragma once

#include <cstdint>

enum CButton : int32_t {
    kLButton = 1 << 0,
    kMButton = 1 << 1,
    kRButton = 1 << 2,
    kShift = 1 << 3,
    kControl = 1 << 4,
    kAlt = 1 << 5,
};

class CButtonState {
public:
    constexpr CButtonState(int32_t state = 0) : state(state) {}  // NOLINT: implicit like the flags
    int32_t getButtonState() const { return state; }
    int32_t getModifierState() const { return state & (kShift | kControl | kAlt); }
    bool isLeftButton() const { return (state & kLButton) != 0; }
    int32_t operator&(int32_t mask) const { return state & mask; }
    bool operator==(const CButtonState&) const = default;

private:
    int32_t state;
};

enum CMouseEventResult : int32_t {
    kMouseEventNotHandled = 0,
    kMouseEventHandled,
    kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};
