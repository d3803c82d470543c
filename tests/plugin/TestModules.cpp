// Two modules that are not usable plug-ins, for the host's and the tool's refusals.
// LUMETRA_NULL_ENTRY: an entry point that creates nothing. Otherwise: no entry point at all.
#include "platform/vst24.h"

#if defined(LUMETRA_NULL_ENTRY)
extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback) { return nullptr; }
#else
extern "C" __attribute__((visibility("default"))) int lumetraNotAnEntry() { return 0; }
#endif
