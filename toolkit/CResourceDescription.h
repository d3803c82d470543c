// Names an image of the module's resource table by its number.
#pragma once

#include <cstdint>

struct CResourceDescription {
    constexpr CResourceDescription(int32_t id) : id(id) {}  // NOLINT: implicit, a number names it
    int32_t id;
};
