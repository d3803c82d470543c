// The embedded images: present under exactly the numbers 128 to 133, valid PNGs of the sizes the
// editor's layout is computed from, and drawn where the editor relies on them lining up.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/Resources.h"

namespace {

struct Rgb {
    int r, g, b;
    int brightest() const { return std::max({r, g, b}); }
};

struct PngReader {
    const unsigned char* data;
    size_t left;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (length > reader->left) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, reader->data, length);
    reader->data += length;
    reader->left -= length;
    return CAIRO_STATUS_SUCCESS;
}

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

// The decoded image, or null when the number has none or its bytes are not a PNG.
Surface decode(int number) {
    const lumetra::Resource resource = lumetra::findResource(number);
    if (resource.data == nullptr) return Surface(nullptr, cairo_surface_destroy);
    PngReader reader{resource.data, resource.size};
    Surface surface(cairo_image_surface_create_from_png_stream(readPng, &reader), cairo_surface_destroy);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) surface.reset();
    return surface;
}

// Opaque images, so the premultiplied pixel is the colour.
Rgb pixel(cairo_surface_t* surface, int x, int y) {
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    uint32_t argb;
    std::memcpy(&argb, row + 4 * x, 4);
    return {int(argb >> 16 & 0xff), int(argb >> 8 & 0xff), int(argb & 0xff)};
}

constexpr int kMeterTop = 54, kMeterHeight = 152, kLedCount = 16;
int segmentTop(int k) { return k * kMeterHeight / kLedCount; }  // where the meter cuts its images

TEST(ResourceTable, EveryImageDecodesToItsLayoutSizeAndNothingElseIsThere) {
    const struct { int number, width, height; } images[] = {
        {128, 900, 277}, {129, 16, 70}, {130, 14, 12}, {131, 11, 152}, {132, 11, 152}, {133, 24, 48}};
    for (const auto& image : images) {
        SCOPED_TRACE(image.number);
        const Surface surface = decode(image.number);
        ASSERT_NE(surface, nullptr);
        EXPECT_EQ(cairo_image_surface_get_width(surface.get()), image.width);
        EXPECT_EQ(cairo_image_surface_get_height(surface.get()), image.height);
    }
    for (int number : {-1, 0, 127, 134, 1000}) {
        SCOPED_TRACE(number);
        const lumetra::Resource none = lumetra::findResource(number);
        EXPECT_EQ(none.data, nullptr);
        EXPECT_EQ(none.size, 0u);
    }
}

TEST(ResourceTable, BackgroundHasTheFaceAndADarkRedWindowWhoseGridMeetsTheMeters) {
    const Surface background = decode(128);
    const Surface meterOff = decode(131);
    ASSERT_NE(background, nullptr);
    ASSERT_NE(meterOff, nullptr);
    for (auto [x, y] : {std::pair{450, 262}, std::pair{300, 6}, std::pair{600, 40}}) {
        const Rgb face = pixel(background.get(), x, y);
        EXPECT_NEAR(face.r, 226, 6);
        EXPECT_NEAR(face.g, 217, 6);
        EXPECT_NEAR(face.b, 210, 6);
    }
    // Inside the window, between two columns (column 0 is x 70 to 80, column 1 starts at 94).
    const int between = 86;
    for (int y : {52, 60, 120, 205}) {
        const Rgb window = pixel(background.get(), between, y);
        EXPECT_LT(window.brightest(), 90) << y;
        EXPECT_GT(window.r, 3 * window.g) << y;
    }
    // Each grid row of the meter images continues in the window at the same height and colour.
    for (int row : {41, 42, 79, 80, 81, 118, 119}) {
        SCOPED_TRACE(row);
        const Rgb inMeter = pixel(meterOff.get(), 0, row);
        const Rgb inWindow = pixel(background.get(), between, kMeterTop + row);
        EXPECT_EQ(inMeter.r, inWindow.r);
        EXPECT_EQ(inMeter.g, inWindow.g);
        EXPECT_EQ(inMeter.b, inWindow.b);
        EXPECT_GT(inWindow.r, pixel(background.get(), between, kMeterTop + row - 3).r);
    }
}

TEST(ResourceTable, MeterImagesLightEachSegmentBetweenTheMetersCuts) {
    const Surface off = decode(131);
    const Surface on = decode(132);
    ASSERT_NE(off, nullptr);
    ASSERT_NE(on, nullptr);
    for (int y = 0; y < kMeterHeight; ++y)
        for (int x = 0; x < 11; ++x) ASSERT_LT(pixel(off.get(), x, y).brightest(), 130) << x << "," << y;
    for (int k = 0; k < kLedCount; ++k) {
        SCOPED_TRACE(k);
        // Lit from the row where the meter cuts for k segments, dark before the next cut.
        const Rgb centre = pixel(on.get(), 5, segmentTop(k) + 3);
        EXPECT_GT(centre.r, 200);
        EXPECT_LT(centre.g, 150);
        EXPECT_GT(pixel(on.get(), 5, segmentTop(k)).r, 150);
        EXPECT_LT(pixel(on.get(), 5, segmentTop(k) + 8).brightest(), 80);
        EXPECT_LT(pixel(on.get(), 5, segmentTop(k + 1) - 1).brightest(), 80);
    }
}

TEST(ResourceTable, SwitchFramesLightLeftMiddleAndRight) {
    const Surface switches = decode(133);
    ASSERT_NE(switches, nullptr);
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(frame);
        int first = -1, last = -1;
        for (int x = 0; x < 24; ++x)
            if (pixel(switches.get(), x, frame * 16 + 8).r > 200) {
                if (first < 0) first = x;
                last = x;
            }
        ASSERT_GE(first, 0);
        // The lit segment lies inside the third that a click there selects.
        EXPECT_GE(first, frame * 8);
        EXPECT_LT(last, frame * 8 + 8);
        EXPECT_LT(pixel(switches.get(), 12, frame * 16).brightest(), 60);  // slot edge stays dark
    }
}

}  // namespace
