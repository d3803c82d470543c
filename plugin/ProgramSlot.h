// One program slot: the five parameter values and a name. The values are shared with the audio
// thread (the meter push writes feedBack of the current slot); the name is UI-thread only.
#pragma once

#include "platform/Relaxed.h"
#include "platform/vst24.h"

struct ProgramSlot {
    lumetra::Relaxed<float> delay = 0.0f;
    lumetra::Relaxed<float> feedBack = 0.5f;
    lumetra::Relaxed<float> volume = 0.5f;
    lumetra::Relaxed<float> mode = 0.5f;
    lumetra::Relaxed<float> resp = 0.0f;
    char name[kVstMaxProgNameLen] = "Init";  // always terminated
};
