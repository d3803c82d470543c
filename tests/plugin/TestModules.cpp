// Two modules that are not usable plug-ins, for the host's and the tool's refusals.
// LUMETRA_NULL_ENTRY: an entry point that creates nothing. Otherwise: no entry point at all.
#include "platform/vst24.h"

#if defined(_WIN32)
#define LUMETRA_EXPORT __declspec(dllexport)
#else
#define LUMETRA_EXPORT __attribute__((visibility("default")))
#endif

#if defined(LUMETRA_NULL_ENTRY)
extern "C" LUMETRA_EXPORT AEffect* VSTPluginMain(audioMasterCallback) { return nullptr; }
#else
extern "C" LUMETRA_EXPORT int lumetraNotAnEntry() { return 0; }
#endif
