// The instance handle of the module that holds this code (Lumetra.dll, or a test program that
// links the platform layer): the editor's images are its resources, its window class is
// registered with it. DllMain keeps it; any thread.
#pragma once

#include <windows.h>

namespace lumetra {

// DllMain's handle; before DllMain ran (in a program, not a DLL) the module that contains this
// function, looked up by address.
HINSTANCE moduleHandle() noexcept;
// Called once, by DllMain at DLL_PROCESS_ATTACH.
void keepModuleHandle(HINSTANCE module) noexcept;

}  // namespace lumetra
