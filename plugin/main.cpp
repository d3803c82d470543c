// The module entry point: the only exported symbol (as VSTPluginMain and as main); on Windows
// also DllMain, which keeps the module handle.
#include <memory>
#include <new>

#if defined(LUMETRA_EDITOR)
#include "editor/ADEditor.h"
#endif
#include "plugin/ADelayEdit.h"

#if defined(_WIN32)
#include "platform/win32/ModuleHandle.h"
#define LUMETRA_EXPORT  // the exports are listed in exports.def
#else
#define LUMETRA_EXPORT __attribute__((visibility("default")))
#endif

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

extern "C" LUMETRA_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster) noexcept {
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

#if defined(_WIN32)
// Runs under the loader lock: it keeps the handle and does nothing else.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) lumetra::keepModuleHandle(module);
    return TRUE;
}
#endif
