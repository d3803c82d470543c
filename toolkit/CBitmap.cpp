#include "toolkit/CBitmap.h"

#include <cstring>

#include "platform/Resources.h"
#include "toolkit/CDrawContext.h"

namespace {

struct PngReader {
    const unsigned char* data;
    size_t size;
    size_t position;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (length > reader->size - reader->position) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data + reader->position, length);
    reader->position += length;
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

CBitmap::CBitmap(const CResourceDescription& description) : description(description) {
    const lumetra::Resource resource = lumetra::findResource(description.id);
    if (resource.data == nullptr || resource.size == 0) return;
    PngReader reader{resource.data, resource.size, 0};
    cairo_surface_t* decoded = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(decoded) == CAIRO_STATUS_SUCCESS)
        surface = decoded;
    else
        cairo_surface_destroy(decoded);  // an error surface is still an object to release
}

CBitmap::~CBitmap() {
    if (surface) cairo_surface_destroy(surface);
}

CCoord CBitmap::getWidth() const { return surface ? cairo_image_surface_get_width(surface) : 0; }

CCoord CBitmap::getHeight() const { return surface ? cairo_image_surface_get_height(surface) : 0; }

void CBitmap::draw(CDrawContext* context, const CRect& destination, const CPoint& offset, float alpha) {
    if (context) context->drawBitmap(this, destination, offset, alpha);
}
