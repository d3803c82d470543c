// The two readouts of the editor window on screen: after host automation, a program change and a
// Control-click, each shows the text its value names, pixel for pixel as a readout with the
// window's font and colours draws that text over the panel image.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "editor/ADEditor.h"
#include "tests/editor/EditorWindowSupport.h"
#include "toolkit/CButtonState.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CParamDisplay.h"
#include "toolkit/IPlatformOffscreen.h"

namespace {

using editortest::Image;
using editortest::Picture;

// The readout rectangles in the window: 27 x 12 above each slider.
constexpr int kReadoutLeft = 865;
constexpr int kReadoutWidth = 27;
constexpr int kReadoutHeight = 12;
constexpr int kDelayReadoutTop = 47;
constexpr int kVolumeReadoutTop = 147;

struct Readout {
    std::string text;
    Picture picture;  // kReadoutWidth x kReadoutHeight
};

// What a readout showing value draws over the panel image, drawn here by the toolkit off screen.
Readout drawReadout(const Image& panel, int top, float value, CParamDisplayValueToStringProc toString) {
    const std::unique_ptr<IPlatformOffscreen> offscreen = IPlatformOffscreen::create(panel.width, panel.height);
    int32_t stride = 0;
    auto* data = reinterpret_cast<unsigned char*>(offscreen->getPixels(stride));
    for (int y = 0; y < panel.height; ++y)
        for (int x = 0; x < panel.width; ++x) {
            const uint32_t pixel = panel.at(x, y);
            std::memcpy(data + y * stride + x * 4, &pixel, 4);
        }
    offscreen->markDirty();

    CParamDisplay display(CRect(kReadoutLeft, top, kReadoutLeft + kReadoutWidth, top + kReadoutHeight));
    display.setFont(kNormalFontSmaller);
    display.setFontColor(kBlackCColor);
    display.setBackColor(CColor(223, 219, 211, 0));
    display.setFrameColor(CColor(223, 219, 211, 0));
    display.setValueToStringProc(toString, nullptr);
    display.setValue(value);
    {
        CDrawContext context(offscreen.get());
        display.draw(&context);
    }
    data = reinterpret_cast<unsigned char*>(offscreen->getPixels(stride));

    Readout readout;
    char text[256];
    display.getText(text);
    readout.text = text;
    readout.picture.width = kReadoutWidth;
    readout.picture.height = kReadoutHeight;
    for (int y = 0; y < kReadoutHeight; ++y)
        for (int x = 0; x < kReadoutWidth; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, data + (top + y) * stride + (kReadoutLeft + x) * 4, 4);
            readout.picture.pixels.push_back(pixel & 0xFFFFFFu);
        }
    return readout;
}

Picture cut(const Picture& window, int top) {
    Picture part;
    part.width = kReadoutWidth;
    part.height = kReadoutHeight;
    for (int y = 0; y < kReadoutHeight; ++y)
        for (int x = 0; x < kReadoutWidth; ++x) part.pixels.push_back(window.at(kReadoutLeft + x, top + y));
    return part;
}

class ReadoutsOnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        if (!editor.setUp()) GTEST_SKIP() << editor.why;
        ASSERT_TRUE(editor.open());
        editor.idle();
        panel = editortest::decodeImage(128);
        ASSERT_EQ(panel.width, editortest::ModuleEditor::kWidth);
    }

    // The window shows text for volume and delay in the two readouts.
    void expectReadouts(float volume, const char* volumeText, float delay, const char* delayText) {
        const Readout volumeReadout = drawReadout(panel, kVolumeReadoutTop, volume, ADEditor::volumeValueToString);
        const Readout delayReadout = drawReadout(panel, kDelayReadoutTop, delay, ADEditor::delayValueToString);
        ASSERT_EQ(volumeReadout.text, volumeText);
        ASSERT_EQ(delayReadout.text, delayText);
        const Picture window = editor.picture();
        EXPECT_TRUE(cut(window, kVolumeReadoutTop) == volumeReadout.picture) << "Volume readout is not " << volumeText;
        EXPECT_TRUE(cut(window, kDelayReadoutTop) == delayReadout.picture) << "Delay readout is not " << delayText;
    }

    editortest::ModuleEditor editor;
    Image panel;
};

TEST_F(ReadoutsOnScreen, ShowTheTextsOfTheEffectsValues) {
    expectReadouts(0.5f, "+0.0", 0.0f, "0");

    editor.host.setParameter(2, 1.0f);
    editor.host.setParameter(0, 0.5f);
    editor.idle(1);
    expectReadouts(1.0f, "+20.0", 0.5f, "150");

    editor.host.setParameter(2, 0.25f);
    editor.host.setParameter(0, 0.999f);
    editor.idle(1);
    expectReadouts(0.25f, "-10.0", 0.999f, "299");

    // A program change brings back the program's values (Volume 0.5, Delay 0).
    EXPECT_EQ(editor.host.dispatch(effSetProgram, 0, 1), 0);
    editor.idle(1);
    expectReadouts(0.5f, "+0.0", 0.0f, "0");
}

TEST_F(ReadoutsOnScreen, ControlClickOnEitherSliderResetsItsReadout) {
    editor.host.setParameter(2, 0.0f);
    editor.host.setParameter(0, 1.0f);
    editor.idle(1);
    expectReadouts(0.0f, "-20.0", 1.0f, "300");

    for (int y : {195, 95}) editor.click(879, y, kControl);  // the Volume slider, then the Delay slider
    EXPECT_FLOAT_EQ(editor.host.getParameter(2), 0.5f);
    EXPECT_FLOAT_EQ(editor.host.getParameter(0), 0.5f);
    expectReadouts(0.5f, "+0.0", 0.5f, "150");
}

}  // namespace
