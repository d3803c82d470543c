// The module's embedded resource table: resource number to the bytes of a PNG image.
// Generated at build time from resources/*.png (see resources/CMakeLists.txt). Any thread.
#pragma once

#include <cstddef>

namespace lumetra {

struct Resource {
    const unsigned char* data = nullptr;
    size_t size = 0;
};

// The resource with that number; data null and size 0 when there is none.
Resource findResource(int number) noexcept;

}  // namespace lumetra
