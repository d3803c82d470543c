// The effect's parameter numbers, its program count and its unique ID: what the editor, the tools
// and the format modules need to know of the effect without the effect class.
#pragma once

#include "platform/vst24.h"

namespace lumetra {

enum ParamIndex : VstInt32 { kDelay, kFeedBack, kVolume, kMode, kResp, kNumParams };
constexpr VstInt32 kNumPrograms = 16;
constexpr VstInt32 kUniqueId = fourCharCode('L', 'm', 't', 'r');

}  // namespace lumetra
