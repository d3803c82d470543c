// A decoded image as the drawing back end keeps it: toolkit/cairo/ (an image surface) on Linux,
// toolkit/win32/ (premultiplied BGRA in a DIB section, decoded by WIC) on Windows. UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class IPlatformBitmap {
public:
    // Decodes the bytes of a PNG file; null when they are not one the back end can read.
    static std::unique_ptr<IPlatformBitmap> createFromPng(const unsigned char* data, size_t size);
    virtual ~IPlatformBitmap() = default;

    virtual int32_t getWidth() const = 0;   // pixels
    virtual int32_t getHeight() const = 0;  // pixels
    // One pixel as 0xAARRGGBB, colour premultiplied by alpha; x and y inside the image.
    virtual uint32_t getPixel(int32_t x, int32_t y) const = 0;
    // Every pixel's alpha is full: drawn at alpha 1, the image hides whatever lies below.
    virtual bool isOpaque() const = 0;
};
