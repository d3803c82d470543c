// The module entry point: the only exported symbol (as VSTPluginMain and as main).
#include <memory>
#include <new>

#include "editor/ADEditor.h"
#include "plugin/ADelayEdit.h"

AudioEffect* createEffectObject(audioMasterCallback audioMaster) noexcept {
    try {
        auto effect = std::make_unique<ADelayEdit>(audioMaster);
        new ADEditor(effect.get());  // attaches itself: the effect owns it from here
        return effect.release();
    } catch (...) {
        return nullptr;  // out of memory: whatever was built is released, the host gets null
    }
}

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback audioMaster) noexcept {
    // A host without a callback cannot answer the version query: no effect for it.
    if (audioMaster == nullptr) return nullptr;
    try {
        if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    } catch (...) {
        return nullptr;
    }
    AudioEffect* effect = createEffectObject(audioMaster);
    return effect ? effect->getAeffect() : nullptr;
}

// Older hosts look the entry up as "main"; same function, C linkage.
asm(".globl main\n.set main, VSTPluginMain");
