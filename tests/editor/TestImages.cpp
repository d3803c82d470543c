#include "tests/editor/TestImages.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/Resources.h"

namespace testimages {
namespace {

std::map<int, std::vector<unsigned char>>& table() {
    static std::map<int, std::vector<unsigned char>> resources;
    return resources;
}

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<unsigned char>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::vector<unsigned char> makePng(int width, int height, const std::function<uint32_t(int, int)>& colour) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            reinterpret_cast<uint32_t*>(data + y * stride)[x] = 0xFF000000u | colour(x, y);
    cairo_surface_mark_dirty(surface);
    std::vector<unsigned char> bytes;
    cairo_surface_write_to_png_stream(surface, appendBytes, &bytes);
    cairo_surface_destroy(surface);
    return bytes;
}

void registerResource(int number, std::vector<unsigned char> bytes) { table()[number] = std::move(bytes); }

void registerImage(int number, int width, int height, const std::function<uint32_t(int, int)>& colour) {
    registerResource(number, makePng(width, height, colour));
}

void clearResources() { table().clear(); }

uint32_t pixel(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    return reinterpret_cast<const uint32_t*>(data + y * stride)[x] & 0xFFFFFFu;
}

}  // namespace testimages

namespace lumetra {

Resource findResource(int number) noexcept {
    const auto& resources = testimages::table();
    const auto found = resources.find(number);
    if (found == resources.end()) return {};
    return {found->second.data(), found->second.size()};
}

}  // namespace lumetra
