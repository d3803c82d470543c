// The VST 2.4 module's entry point: the only exported symbol (as VSTPluginMain and as main); on
// Windows also DllMain, which keeps the module handle.
#include "module/EffectFactory.h"
#include "plugin/AudioEffect.h"

#if defined(_WIN32)
#include "platform/win32/ModuleHandle.h"
#define LUMETRA_EXPORT  // the exports are listed in exports.def
#else
#define LUMETRA_EXPORT __attribute__((visibility("default")))
#endif

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

// Older hosts look the entry up as "main"; same function, C linkage. The assembler sees C names
// as the linker does: with the underscore 32-bit Windows puts in front of them.
#define LUMETRA_STRING(x) #x
#define LUMETRA_C_NAME(prefix, name) LUMETRA_STRING(prefix) #name
asm(".globl " LUMETRA_C_NAME(__USER_LABEL_PREFIX__, main) "\n"
    ".set " LUMETRA_C_NAME(__USER_LABEL_PREFIX__, main) ", " LUMETRA_C_NAME(__USER_LABEL_PREFIX__, VSTPluginMain));

#if defined(_WIN32)
// Runs under the loader lock: it keeps the handle and does nothing else.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) lumetra::keepModuleHandle(module);
    return TRUE;
}
#endif
