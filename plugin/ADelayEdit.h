// The effect as the entry point creates it: an ADelay that forwards every parameter change to
// its editor after storing it.
#pragma once

#include "plugin/ADelay.h"

class ADelayEdit : public ADelay {
public:
    explicit ADelayEdit(audioMasterCallback audioMaster);
    ~ADelayEdit() override = default;

    void setParameter(VstInt32 index, float value) override;  // Any thread
};
