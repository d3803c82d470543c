#include "tools/ProgressBar.h"

#include <algorithm>

namespace lumetra {

ProgressBar::ProgressBar(FILE* out) : out(out) {}

ProgressBar::~ProgressBar() { clear(); }

void ProgressBar::update(const std::string& label, double fraction) {
    const auto now = Clock::now();
    if (now - started < std::chrono::seconds(1) || now - lastDraw < std::chrono::milliseconds(100)) return;
    lastDraw = now;
    shown = true;
    constexpr int kWidth = 30;
    const int filled = int(std::clamp(fraction, 0.0, 1.0) * kWidth);
    std::string name = label;
    if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
    std::fprintf(out, "\r%s [%s%s] %3d%%\x1b[K", name.c_str(), std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(kWidth - filled), '-').c_str(), int(fraction * 100.0));
    std::fflush(out);
}

void ProgressBar::clear() {
    if (!shown) return;
    shown = false;
    std::fputs("\r\x1b[K", out);
    std::fflush(out);
}

}  // namespace lumetra
