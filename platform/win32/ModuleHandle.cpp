#include "platform/win32/ModuleHandle.h"

#include <atomic>

namespace lumetra {

namespace {

std::atomic<HINSTANCE> kept{nullptr};

}  // namespace

void keepModuleHandle(HINSTANCE module) noexcept { kept.store(module, std::memory_order_relaxed); }

HINSTANCE moduleHandle() noexcept {
    if (HINSTANCE module = kept.load(std::memory_order_relaxed)) return module;
    HMODULE own = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&moduleHandle), &own);
    return own;
}

}  // namespace lumetra
