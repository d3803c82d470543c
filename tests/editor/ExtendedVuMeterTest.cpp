// The band meter's drawing rule, read back from the pixels of an off-screen surface. The on and
// off images code their own row and column into every pixel, so each pixel of the view tells
// which image it came from and from which row: a wrong source offset shows as well as a wrong
// boundary.
#include <gtest/gtest.h>

#include <string>

#include "editor/CExtendedVuMeter.h"
#include "tests/editor/TestImages.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

namespace {

constexpr int kOn = 132;
constexpr int kOff = 131;
constexpr uint32_t kBackground = 0x0A0B0C;

uint32_t onPixel(int x, int y) { return 0xC80000u | (static_cast<uint32_t>(y) << 8) | static_cast<uint32_t>(x); }
uint32_t offPixel(int x, int y) { return 0x320000u | (static_cast<uint32_t>(y) << 8) | static_cast<uint32_t>(x); }

// A meter that counts its repaint requests.
class CountingMeter : public CExtendedVuMeter {
public:
    using CExtendedVuMeter::CExtendedVuMeter;
    void invalidRect(const CRect&) override { ++invalidCount; }
    int invalidCount = 0;
};

class ExtendedVuMeter : public ::testing::Test {
protected:
    void SetUp() override {
        testimages::registerImage(kOn, 11, 152, onPixel);
        testimages::registerImage(kOff, 11, 152, offPixel);
        on = new CBitmap(kOn);
        off = new CBitmap(kOff);
        offscreen = IPlatformOffscreen::create(60, 200);
        ASSERT_NE(offscreen, nullptr);
    }
    void TearDown() override {
        on->forget();
        off->forget();
        testimages::clearResources();
    }

    void drawOnce(CVuMeter& meter) {
        testimages::fill(*offscreen, kBackground);
        CDrawContext context(offscreen.get());
        meter.draw(&context);
    }

    // One letter per image row of the vertical meter at (left, top): L from the on image, D from
    // the off image (each from the same row), B untouched, ? anything else. Also checks that the
    // view's columns right of the images stay untouched.
    std::string column(int left, int top) {
        std::string rows;
        for (int y = 0; y < 152; ++y) {
            char kind = '?';
            const uint32_t first = testimages::pixel(*offscreen, left, top + y);
            if (first == onPixel(0, y)) kind = 'L';
            else if (first == offPixel(0, y)) kind = 'D';
            else if (first == kBackground) kind = 'B';
            for (int x = 1; x < 11; ++x) {
                const uint32_t p = testimages::pixel(*offscreen, left + x, top + y);
                const uint32_t expected = kind == 'L' ? onPixel(x, y) : kind == 'D' ? offPixel(x, y) : kBackground;
                if (p != expected) kind = '?';
            }
            for (int x = 11; x < 24; ++x)
                if (testimages::pixel(*offscreen, left + x, top + y) != kBackground) kind = '?';
            rows += kind;
        }
        return rows;
    }

    static std::string litFromTop(int lit) { return std::string(lit, 'L') + std::string(152 - lit, 'D'); }
    static std::string litFromBottom(int lit) { return std::string(152 - lit, 'D') + std::string(lit, 'L'); }

    std::string drawVertical(float value) {
        CExtendedVuMeter meter(CRect(5, 20, 29, 172), on, off, 16, kVertical);
        meter.setDecreaseStepValue(100);
        meter.setValue(value);
        drawOnce(meter);
        return column(5, 20);
    }

    CBitmap* on = nullptr;
    CBitmap* off = nullptr;
    std::unique_ptr<IPlatformOffscreen> offscreen;
};

TEST_F(ExtendedVuMeter, DarkRowsFollowThePTableForEveryLowerHalfCount) {
    const int p[17] = {0, 9, 19, 28, 38, 47, 57, 66, 76, 85, 95, 104, 114, 123, 133, 142, 152};
    for (int k = 0; k <= 16; ++k) {
        SCOPED_TRACE(k);
        // (1 - 2d) x 16 + 0.5 = k + 0.5 exactly, so k dark segments from the top.
        EXPECT_EQ(drawVertical(static_cast<float>(16 - k) / 32.0f), litFromBottom(152 - p[k]));
    }
}

TEST_F(ExtendedVuMeter, BothHalvesShowTheDocumentedRows) {
    EXPECT_EQ(drawVertical(0.0f), litFromBottom(0));
    EXPECT_EQ(drawVertical(0.25f), litFromBottom(76));
    EXPECT_EQ(drawVertical(0.48f), litFromBottom(143));
    EXPECT_EQ(drawVertical(0.5f), litFromBottom(152));
    EXPECT_EQ(drawVertical(0.52f), litFromTop(142));
    EXPECT_EQ(drawVertical(0.75f), litFromTop(76));
    // The fold-back never empties the column: the top segment stays lit up to 1 and beyond.
    for (float value : {0.96875f, 0.98f, 1.0f, 1.5f}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(drawVertical(value), litFromTop(9));
    }
}

TEST_F(ExtendedVuMeter, ShowsEachChangeAtTheNextDrawingWithTheEditorsStep) {
    CountingMeter meter(CRect(5, 20, 29, 172), on, off, 16, kVertical);
    meter.setDecreaseStepValue(100);
    EXPECT_TRUE(meter.wantsIdle());
    EXPECT_EQ(meter.getOldValue(), -1.0f);  // a new meter draws at the first idle
    meter.onIdle();
    EXPECT_EQ(meter.invalidCount, 1);
    drawOnce(meter);
    EXPECT_EQ(column(5, 20), litFromBottom(0));
    meter.onIdle();
    EXPECT_EQ(meter.invalidCount, 1) << "a meter whose value did not change repaints";

    meter.setValue(0.3f);  // k = (1 - 0.6) x 16 + 0.5 = 6.9: 6 dark segments
    meter.onIdle();
    EXPECT_EQ(meter.invalidCount, 2);
    drawOnce(meter);
    EXPECT_EQ(column(5, 20), litFromBottom(152 - 57));

    meter.setValue(0.5f);
    drawOnce(meter);
    meter.setValue(0.0f);  // a drop from full to nothing shows in one drawing
    drawOnce(meter);
    EXPECT_EQ(column(5, 20), litFromBottom(0));
    meter.onIdle();
    EXPECT_EQ(meter.invalidCount, 2);
}

// The frame redraws a meter clipped to the rows that change: inside the clip the new state, outside
// it the old one, pixel for pixel, wherever the clip cuts the images.
TEST_F(ExtendedVuMeter, AClippedDrawingChangesOnlyThePixelsInsideTheClip) {
    CExtendedVuMeter meter(CRect(5, 20, 29, 172), on, off, 16, kVertical);
    meter.setDecreaseStepValue(100);
    meter.setValue(0.25f);  // lit rows 76 .. 152
    drawOnce(meter);
    meter.setValue(0.75f);  // lit rows 0 .. 76
    const CRect clip(8, 20 + 60, 40, 20 + 100);
    {
        CDrawContext context(offscreen.get());
        context.setClipRect(clip);
        meter.draw(&context);
    }
    for (int y = 0; y < 152; ++y)
        for (int x = 0; x < 24; ++x) {
            const bool inside = clip.pointInside(CPoint(5 + x, 20 + y));
            const bool lit = inside ? y < 76 : y >= 76;
            const uint32_t expected = x >= 11 ? kBackground : lit ? onPixel(x, y) : offPixel(x, y);
            ASSERT_EQ(testimages::pixel(*offscreen, 5 + x, 20 + y), expected) << "x " << x << " y " << y;
        }
}

TEST_F(ExtendedVuMeter, WithTheDefaultStepAFallRepaintsUntilItCatchesUp) {
    CountingMeter meter(CRect(5, 20, 29, 172), on, off, 16, kVertical);
    EXPECT_FLOAT_EQ(meter.getDecreaseStepValue(), 0.1f);
    meter.setValue(0.5f);
    drawOnce(meter);
    meter.setValue(0.0f);
    int drawings = 0;
    for (; drawings < 20; ++drawings) {
        const int before = meter.invalidCount;
        meter.onIdle();
        if (meter.invalidCount == before) break;
        drawOnce(meter);
    }
    EXPECT_GE(drawings, 5);
    EXPECT_LE(drawings, 6);
    EXPECT_EQ(meter.getOldValue(), 0.0f);
    EXPECT_EQ(column(5, 20), litFromBottom(0));
}

TEST_F(ExtendedVuMeter, HorizontalSplitsTheImagesByColumn) {
    CExtendedVuMeter meter(CRect(5, 20, 29, 172), on, off, 16, kHorizontal);
    meter.setDecreaseStepValue(100);
    meter.setValue(0.5f);  // k = 8, p = (8 / 16) x 11 = 5
    drawOnce(meter);
    for (int y : {0, 75, 151}) {
        for (int x = 0; x < 11; ++x)
            EXPECT_EQ(testimages::pixel(*offscreen, 5 + x, 20 + y), x < 5 ? onPixel(x, y) : offPixel(x, y))
                << "x " << x << " y " << y;
    }
}

TEST_F(ExtendedVuMeter, DrawsNothingWithoutAnOnImageAndKeepsAsking) {
    CountingMeter meter(CRect(5, 20, 29, 172), nullptr, off, 16, kVertical);
    meter.setValue(0.25f);
    drawOnce(meter);
    EXPECT_EQ(column(5, 20), std::string(152, 'B'));
    EXPECT_EQ(meter.getOldValue(), -1.0f);
    meter.onIdle();
    meter.onIdle();
    EXPECT_EQ(meter.invalidCount, 2);

    // Without an off image only the lit part is drawn; the rest shows what lies beneath.
    CExtendedVuMeter onOnly(CRect(5, 20, 29, 172), on, nullptr, 16, kVertical);
    onOnly.setDecreaseStepValue(100);
    onOnly.setValue(0.25f);
    drawOnce(onOnly);
    EXPECT_EQ(column(5, 20), std::string(76, 'B') + std::string(76, 'L'));
}

TEST(CBitmap, LoadsByNumberAndIsEmptyWhenItCannot) {
    testimages::registerImage(200, 16, 70, [](int, int) { return 0x123456u; });
    testimages::registerResource(201, {0x89, 'P', 'N', 'G', 1, 2, 3});  // a cut-off PNG
    CBitmap good(200);
    EXPECT_EQ(good.getWidth(), 16);
    EXPECT_EQ(good.getHeight(), 70);
    CBitmap* missing = new CBitmap(CResourceDescription(202));
    CBitmap* broken = new CBitmap(CResourceDescription(201));
    for (CBitmap* bitmap : {missing, broken}) {
        EXPECT_FALSE(bitmap->isLoaded());
        EXPECT_EQ(bitmap->getWidth(), 0);
        EXPECT_EQ(bitmap->getHeight(), 0);
    }
    // A view holds its own reference to each image and drops it when it goes.
    auto* meter = new CExtendedVuMeter(CRect(0, 0, 24, 152), missing, broken, 16);
    EXPECT_EQ(missing->getNbReference(), 2);
    EXPECT_EQ(broken->getNbReference(), 2);
    missing->forget();
    broken->forget();
    EXPECT_EQ(missing->getNbReference(), 1);
    meter->setValue(0.5f);
    const std::unique_ptr<IPlatformOffscreen> offscreen = IPlatformOffscreen::create(30, 160);
    {
        CDrawContext context(offscreen.get());
        meter->draw(&context);  // 0 x 0 images draw nothing and do not fail
    }
    meter->forget();  // frees both images (AddressSanitizer would see a leak or a double free)
    testimages::clearResources();
}

}  // namespace
