// The editor's images as resources of type "PNG" of this module (resources/Lumetra.rc.in). A
// loaded resource stays mapped as long as the module: nothing to free.
#include "platform/Resources.h"

#include "platform/win32/ModuleHandle.h"

namespace lumetra {

Resource findResource(int number) noexcept {  // Any thread.
    if (number <= 0 || number > 0xffff) return {};  // not a resource number
    const HINSTANCE module = moduleHandle();
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(number), "PNG");
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return {};
    return {static_cast<const unsigned char*>(bytes), static_cast<size_t>(SizeofResource(module, found))};
}

}  // namespace lumetra
