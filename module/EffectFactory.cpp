#include "module/EffectFactory.h"

#include <memory>

#if defined(LUMETRA_EDITOR)
#include "editor/ADEditor.h"
#endif
#include "plugin/ADelayEdit.h"

AudioEffect* createEffectObject(audioMasterCallback audioMaster) noexcept {
    try {
        auto effect = std::make_unique<ADelayEdit>(audioMaster);
#if defined(LUMETRA_EDITOR)
        new ADEditor(effect.get());  // attaches itself: the effect owns it from here
#endif
        return effect.release();
    } catch (...) {
        return nullptr;  // out of memory: whatever was built is released, the host gets null
    }
}
