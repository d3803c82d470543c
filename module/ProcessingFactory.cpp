#include <memory>

#include "module/EffectFactory.h"
#include "plugin/ADelayEdit.h"

AudioEffect* createProcessingObject(audioMasterCallback audioMaster) noexcept {
    try {
        return std::make_unique<ADelayEdit>(audioMaster).release();  // with no editor attached
    } catch (...) {
        return nullptr;  // out of memory: the host gets null
    }
}
