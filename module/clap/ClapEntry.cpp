// The CLAP module's entry: the exported clap_entry, its plug-in factory and the one descriptor;
// on Windows also DllMain, which keeps the module handle.
// Hosts may call the entry and the factory from any thread; nothing here holds state.
#include <cstring>
#include <new>

#include "module/clap/ClapPlugin.h"
#include "platform/clap.h"

#if defined(_WIN32)
#include "platform/win32/ModuleHandle.h"
#define LUMETRA_EXPORT  // the export is listed in exports.def
#else
#define LUMETRA_EXPORT __attribute__((visibility("default")))
#endif

namespace lumetra {
namespace {

constexpr const char* kPluginId = "com.farnwick-board.lumetra";
const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_ANALYZER,
                                 CLAP_PLUGIN_FEATURE_STEREO, nullptr};

uint32_t pluginCount(const clap_plugin_factory_t*) noexcept { return 1; }

const clap_plugin_descriptor_t* pluginDescriptor(const clap_plugin_factory_t*, uint32_t index) noexcept {
    return index == 0 ? &ClapPlugin::descriptor : nullptr;
}

// Light, as the factory must be: the effect is made in the instance's init.
const clap_plugin_t* createPlugin(const clap_plugin_factory_t*, const clap_host_t* host, const char* id) noexcept {
    if (host == nullptr || id == nullptr || std::strcmp(id, kPluginId) != 0 ||
        !clap_version_is_compatible(host->clap_version))
        return nullptr;
    auto* plugin = new (std::nothrow) ClapPlugin(host);
    return plugin ? plugin->object() : nullptr;
}

const clap_plugin_factory_t kFactory = {pluginCount, pluginDescriptor, createPlugin};

bool entryInit(const char*) noexcept { return true; }
void entryDeinit() noexcept {}

const void* entryFactory(const char* id) noexcept {
    return id != nullptr && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
}

}  // namespace

const clap_plugin_descriptor_t ClapPlugin::descriptor = {
    CLAP_VERSION,
    kPluginId,
    "Lumetra",
    "Farnwick board",
    "",
    "",
    "",
    LUMETRA_VERSION,
    "Lumetra spectrum analyzer (1/3 octave)",
    kFeatures,
};

}  // namespace lumetra

extern "C" LUMETRA_EXPORT const clap_plugin_entry_t clap_entry = {
    CLAP_VERSION, lumetra::entryInit, lumetra::entryDeinit, lumetra::entryFactory};

#if defined(_WIN32)
// Runs under the loader lock: it keeps the handle (the editor's images are its resources) and
// does nothing else.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) lumetra::keepModuleHandle(module);
    return TRUE;
}
#endif
