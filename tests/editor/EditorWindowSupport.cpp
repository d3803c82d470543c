#include "tests/editor/EditorWindowSupport.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/vst24.h"
#include "toolkit/CBitmap.h"

namespace editortest {

Image decodeImage(int number) {
    Image image;
    auto* bitmap = new CBitmap(number);  // the toolkit's own decoding, as the editor draws it
    if (const IPlatformBitmap* decoded = bitmap->getPlatformBitmap()) {
        image.width = decoded->getWidth();
        image.height = decoded->getHeight();
        image.pixels.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height));
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                image.pixels[static_cast<size_t>(y * image.width + x)] = decoded->getPixel(x, y) & 0xFFFFFFu;
    }
    bitmap->forget();
    return image;
}

bool showsRows(const Picture& picture, const Image& image, int left, int top, int rowFrom, int rowTo,
               int imageRowOffset) {
    for (int row = rowFrom; row < rowTo; ++row)
        for (int x = 0; x < image.width; ++x)
            if (picture.at(left + x, top + row) != image.at(x, row + imageRowOffset)) return false;
    return true;
}

LitRows litRows(float value) {
    constexpr int n = 16;
    constexpr int height = 152;
    const float d = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
    auto rowsOf = [](int k) {
        return static_cast<int>(static_cast<double>(static_cast<float>(k) / static_cast<float>(n)) * height);
    };
    if (d <= 0.5f) {
        const int dark = static_cast<int>((1.0f - 2.0f * d) * static_cast<float>(n) + 0.5f);
        return {rowsOf(dark), height};
    }
    const float limited = std::fmin(d, 31.0f / 32.0f);
    const int lit = static_cast<int>((1.0f - 2.0f * (limited - 0.5f)) * static_cast<float>(n) + 0.5f);
    return {0, rowsOf(lit)};
}

int meterLeft(int band) { return 70 + static_cast<int>(band * 24.15); }

bool ModuleEditor::loadModule() {
    if (!host.load(LUMETRA_MODULE_PATH)) {
        why = "module did not load";
        return false;
    }
    host.dispatch(effOpen);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    host.dispatch(effSetBlockSize, 0, kBlock);
    host.dispatch(effMainsChanged, 0, 1);
    return true;
}

bool ModuleEditor::open() { return host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)) == 1; }

void ModuleEditor::close() { host.dispatch(effEditClose); }

void ModuleEditor::click(int x, int y, int32_t modifiers) {
    mouseDown(x, y, modifiers);
    mouseUp(x, y, modifiers);
    idle(1);
}

void ModuleEditor::process(const std::vector<float>& signal) {
    std::vector<float> left(kBlock), right(kBlock), outLeft(kBlock), outRight(kBlock);
    for (size_t at = 0; at + kBlock <= signal.size(); at += kBlock) {
        std::memcpy(left.data(), signal.data() + at, kBlock * sizeof(float));
        std::memcpy(right.data(), signal.data() + at, kBlock * sizeof(float));
        host.process(left.data(), right.data(), outLeft.data(), outRight.data(), kBlock);
    }
}

std::vector<float> sine(float amplitude, double hz, size_t frames) {
    std::vector<float> signal(frames);
    for (size_t i = 0; i < frames; ++i)
        signal[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / 48000.0));
    return signal;
}

}  // namespace editortest
