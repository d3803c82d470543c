// The effect joined with its editor: what every format module creates and then drives through
// the effect's members. The one place that knows both the effect and the editor classes.
#pragma once

#include "platform/vst24.h"

class AudioEffect;

// An ADelayEdit with its ADEditor (where the build has an editor), talking to the host through
// audioMaster; null when creation fails (never throws).
AudioEffect* createEffectObject(audioMasterCallback audioMaster) noexcept;

// The same effect without an editor (module/ProcessingFactory.cpp, library
// lumetra_module_processing, which links no toolkit): for a format whose editor lives in a binary
// of its own (LV2's DSP binary). Null when creation fails (never throws).
AudioEffect* createProcessingObject(audioMasterCallback audioMaster) noexcept;
