#include "tests/editor/EditorWindowSupport.h"

#include <X11/Xutil.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

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

Picture takePicture(Display* display, Window window, int width, int height) {
    Picture picture;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (image == nullptr) return picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.pixels[static_cast<size_t>(y * width + x)] = static_cast<uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFFu;
    XDestroyImage(image);
    return picture;
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

bool ModuleEditor::setUp() {
    display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        why = "no X display";
        return false;
    }
    if (!host.load(LUMETRA_MODULE_PATH)) {
        why = "module did not load";
        return false;
    }
    host.dispatch(effOpen);
    host.dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    host.dispatch(effSetBlockSize, 0, kBlock);
    host.dispatch(effMainsChanged, 0, 1);
    parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, kWidth, kHeight, 0, 0, 0x808080);
    XMapWindow(display, parent);
    XSync(display, False);
    return true;
}

ModuleEditor::~ModuleEditor() {
    host.unload();
    if (display) {
        if (parent) XDestroyWindow(display, parent);
        XCloseDisplay(display);
    }
}

bool ModuleEditor::open() {
    return host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))) == 1;
}

void ModuleEditor::close() { host.dispatch(effEditClose); }

void ModuleEditor::idle(int count) {
    for (int i = 0; i < count; ++i) {
        host.dispatch(effEditIdle);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    host.dispatch(effEditIdle);
    XSync(display, False);
}

Window ModuleEditor::frameWindow() const {
    Window root = 0, parentOfParent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window frame = 0;
    if (XQueryTree(display, parent, &root, &parentOfParent, &children, &count) && count > 0) frame = children[count - 1];
    if (children) XFree(children);
    return frame;
}

Picture ModuleEditor::picture() { return takePicture(display, frameWindow(), kWidth, kHeight); }

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
        signal[i] = amplitude * static_cast<float>(std::sin(2.0 * M_PI * hz * static_cast<double>(i) / 48000.0));
    return signal;
}

}  // namespace editortest
