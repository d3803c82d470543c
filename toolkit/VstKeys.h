// Virtual key and modifier numbers of VstKeyCode (virt, modifier) as the VST 2.4 interface
// publishes them; the frame builds these from X key events, hosts send them in effEditKeyDown.
#pragma once

enum VstVirtualKey : unsigned char {
    VKEY_BACK = 1, VKEY_TAB, VKEY_CLEAR, VKEY_RETURN, VKEY_PAUSE, VKEY_ESCAPE, VKEY_SPACE,
    VKEY_NEXT, VKEY_END, VKEY_HOME, VKEY_LEFT, VKEY_UP, VKEY_RIGHT, VKEY_DOWN, VKEY_PAGEUP,
    VKEY_PAGEDOWN,
};

enum VstModifierKey : unsigned char {
    MODIFIER_SHIFT = 1 << 0,
    MODIFIER_ALTERNATE = 1 << 1,
    MODIFIER_COMMAND = 1 << 2,
    MODIFIER_CONTROL = 1 << 3,
};
