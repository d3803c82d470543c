// The controls off screen: value rules, what each draws, and the readout's transparent face.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "tests/editor/TestImages.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CHorizontalSwitch.h"
#include "toolkit/CParamDisplay.h"
#include "toolkit/CVerticalSlider.h"

namespace {

constexpr uint32_t kBackground = 0xE2D9D2;

class Controls : public ::testing::Test {
protected:
    void SetUp() override {
        offscreen = IPlatformOffscreen::create(120, 120);
        ASSERT_NE(offscreen, nullptr);
        testimages::fill(*offscreen, kBackground);
    }
    void TearDown() override { testimages::clearResources(); }
    void draw(CView& view) {
        CDrawContext context(offscreen.get());
        view.draw(&context);
    }
    uint32_t pixel(int x, int y) { return testimages::pixel(*offscreen, x, y); }
    std::unique_ptr<IPlatformOffscreen> offscreen;
};

TEST_F(Controls, ValuesAreClampedAndNewControlsAreDirty) {
    CParamDisplay display(CRect(0, 0, 10, 10));
    EXPECT_EQ(display.getOldValue(), -1.0f);
    EXPECT_TRUE(display.isDirty());
    display.setValue(1.5f);
    EXPECT_EQ(display.getValue(), 1.0f);
    display.setValue(-3.0f);
    EXPECT_EQ(display.getValue(), 0.0f);
    display.setValue(0.25f);
    display.setValue(std::numeric_limits<float>::quiet_NaN());  // not a value: ignored
    EXPECT_EQ(display.getValue(), 0.25f);
    draw(display);
    EXPECT_FALSE(display.isDirty());
    display.setValue(0.5f);
    EXPECT_TRUE(display.isDirty());
    display.setMax(0.4f);
    EXPECT_TRUE(display.bounceValue());
    EXPECT_EQ(display.getValue(), 0.4f);
    EXPECT_FALSE(display.bounceValue());
}

TEST_F(Controls, TransparentReadoutDrawsOnlyItsCentredText) {
    CParamDisplay readout(CRect(20, 30, 47, 42));
    readout.setFont(kNormalFontSmaller);
    readout.setFontColor(kBlackCColor);
    readout.setBackColor(CColor(223, 219, 211, 0));
    readout.setFrameColor(CColor(223, 219, 211, 0));
    static int calls = 0;
    readout.setValueToStringProc(
        [](float value, char text[256], void* userData) {
            ++*static_cast<int*>(userData);
            std::snprintf(text, 256, "%+1.1f", static_cast<double>(value * 40.0f - 20.0f));
            return true;
        },
        &calls);
    readout.setValue(1.0f);
    char text[256];
    readout.getText(text);
    EXPECT_STREQ(text, "+20.0");
    draw(readout);
    EXPECT_EQ(calls, 2);

    int left = 120, right = -1, top = 120, bottom = -1, dark = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 120; ++x) {
            const uint32_t p = pixel(x, y);
            if (p == kBackground) continue;
            EXPECT_TRUE(x >= 20 && x < 47 && y >= 30 && y < 42) << "outside the readout: " << x << "," << y;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            dark += (p & 0xFF) < 0x60 && ((p >> 8) & 0xFF) < 0x60 && (p >> 16) < 0x60;
        }
    ASSERT_GE(right, left) << "no text drawn";
    EXPECT_GT(dark, 0);
    EXPECT_NEAR((left + right + 1) / 2.0, 33.5, 1.5);  // centred in 20 to 47
    EXPECT_NEAR((top + bottom + 1) / 2.0, 36.0, 2.0);
    for (int x = 20; x < 47; ++x) {  // no frame line, no back colour
        EXPECT_EQ(pixel(x, 30), kBackground);
        EXPECT_EQ(pixel(x, 41), kBackground);
    }
}

TEST_F(Controls, SliderHandleTravelsWithItsValueAndOffset) {
    testimages::registerImage(129, 16, 70, [](int, int) { return 0x909090u; });
    testimages::registerImage(130, 14, 12, [](int, int) { return 0x202020u; });
    auto* track = new CBitmap(129);
    auto* handle = new CBitmap(130);
    CVerticalSlider slider(CRect(10, 20, 26, 90), nullptr, 0, 20, 77, handle, track, CPoint(0, 0), kBottom);
    slider.setOffsetHandle(CPoint(1, 0));
    track->forget();
    handle->forget();
    EXPECT_EQ(track->getNbReference(), 1);  // the slider's own references
    const struct {
        float value;
        int top;
    } cases[] = {{1.0f, 20}, {0.0f, 77}, {0.5f, 49}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        slider.setValue(c.value);
        EXPECT_EQ(slider.getHandleTop(), c.top);
        draw(slider);
        EXPECT_EQ(pixel(11, c.top), 0x202020u);
        EXPECT_EQ(pixel(24, c.top + 11), 0x202020u);
        EXPECT_EQ(pixel(10, c.top), 0x909090u);  // offset 1: the track shows left
        EXPECT_EQ(pixel(25, c.top), 0x909090u);
        if (c.top > 20) {
            EXPECT_EQ(pixel(11, c.top - 1), 0x909090u);
        }
    }
    CVerticalSlider topStyle(CRect(10, 20, 26, 90), nullptr, 0, 20, 77, nullptr, nullptr, CPoint(0, 0), kTop);
    topStyle.setValue(1.0f);
    EXPECT_EQ(topStyle.getHandleTop(), 77);
}

TEST_F(Controls, SwitchShowsTheSubImageOfItsValue) {
    const uint32_t colours[3] = {0x110000, 0x002200, 0x000033};
    testimages::registerImage(133, 24, 48, [&](int, int y) { return colours[y / 16]; });
    auto* image = new CBitmap(133);
    CHorizontalSwitch modeSwitch(CRect(30, 40, 54, 56), nullptr, 3, 3, 16, 3, image);
    image->forget();
    const struct {
        float value;
        int index;
    } cases[] = {{0.0f, 0}, {0.24f, 0}, {0.26f, 1}, {0.5f, 1}, {0.74f, 1}, {0.76f, 2}, {1.0f, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        modeSwitch.setValue(c.value);
        EXPECT_EQ(modeSwitch.getSubPixmapIndex(), c.index);
        draw(modeSwitch);
        EXPECT_EQ(pixel(30, 40), colours[c.index]);
        EXPECT_EQ(pixel(53, 55), colours[c.index]);
        EXPECT_EQ(pixel(42, 56), kBackground);  // one sub-image high
    }
}

}  // namespace
