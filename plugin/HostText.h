// Text into a host's buffer: at most maxLen characters plus the terminator, never more.
// A null destination writes nothing and answers false.
#pragma once

#include <cstddef>
#include <cstring>

namespace lumetra {

inline bool copyText(char* destination, const char* source, size_t maxLen) noexcept {
    if (destination == nullptr) return false;
    size_t length = source ? ::strnlen(source, maxLen) : 0;
    if (length) std::memcpy(destination, source, length);
    destination[length] = '\0';
    return true;
}

}  // namespace lumetra
