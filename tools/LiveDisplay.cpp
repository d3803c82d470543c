#include "tools/LiveDisplay.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "tools/AnalyzeBands.h"

namespace lumetra {

namespace {

constexpr const char* kShowCursor = "\x1b[?25h";
constexpr const char* kHideCursor = "\x1b[?25l";
constexpr const char* kLit = "\x1b[1;31m";
constexpr const char* kDark = "\x1b[2;31m";
constexpr const char* kPlain = "\x1b[0m";

// An interrupted run must not leave the terminal without a cursor.
void restoreCursorAndStop(int signal) {
    static const char restore[] = "\x1b[0m\x1b[?25h\n";
    static_cast<void>(::write(STDOUT_FILENO, restore, sizeof restore - 1));
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

uint32_t litSegments(float fraction) {
    const float d = std::clamp(fraction, 0.0f, 1.0f);
    const float n = float(kLedSegments);
    if (d <= 0.5f) {
        const int dark = int((1.0f - 2.0f * d) * n + 0.5f);  // from the top
        const int lit = kLedSegments - dark;
        return lit <= 0 ? 0u : (1u << lit) - 1u;
    }
    const float folded = std::min(d, (2.0f * n - 1.0f) / (2.0f * n));
    const int lit = int((1.0f - 2.0f * (folded - 0.5f)) * n + 0.5f);  // from the top
    const uint32_t all = (1u << kLedSegments) - 1u;
    return all & ~((1u << (kLedSegments - lit)) - 1u);
}

int terminalColumns(int fd) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

LiveDisplay::LiveDisplay(FILE* out, int columns) : out(out), pitch(columns >= 6 + 3 * kNumBands ? 3 : 2) {
    std::fputs(kHideCursor, out);
    std::signal(SIGINT, restoreCursorAndStop);
    std::signal(SIGTERM, restoreCursorAndStop);
}

LiveDisplay::~LiveDisplay() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    std::fputs(kShowCursor, out);
    std::fflush(out);
}

void LiveDisplay::start(const std::string& newTitle, double newGainDb) {
    title = newTitle;
    gainDb = newGainDb;
    linesDrawn = 0;
}

void LiveDisplay::draw(const float* fractions, double timeSec, double durationSec) {
    frame.clear();
    if (linesDrawn > 0) frame += "\x1b[" + std::to_string(linesDrawn) + "A\r";
    char line[256];
    if (durationSec > 0)
        std::snprintf(line, sizeof line, "%s  %7.2f / %.2f s\x1b[K\n", title.c_str(), timeSec, durationSec);
    else
        std::snprintf(line, sizeof line, "%s  %7.2f s\x1b[K\n", title.c_str(), timeSec);
    frame += line;
    uint32_t lit[kNumBands];
    for (int j = 0; j < kNumBands; ++j) lit[j] = litSegments(fractions[j]);
    // The window's lower half spans -40 to -10 dB at gain 0, the scale of the editor's artwork.
    const double topDb = -10.0 - gainDb, bottomDb = -40.0 - gainDb;
    const std::string bar = pitch == 3 ? "\u2588\u2588" : "\u2588";
    const std::string off = pitch == 3 ? "\u00b7\u00b7" : "\u00b7";
    for (int row = 0; row < kLedSegments; ++row) {
        const int segment = kLedSegments - 1 - row;
        if (row == 0 || row == kLedSegments - 1 || row == kLedSegments / 2)
            std::snprintf(line, sizeof line, "%+4.0f ",
                          row == 0 ? topDb : row == kLedSegments - 1 ? bottomDb : (topDb + bottomDb) / 2);
        else
            std::snprintf(line, sizeof line, "     ");
        frame += line;
        for (int j = 0; j < kNumBands; ++j) {
            const bool on = (lit[j] >> segment) & 1u;
            frame += on ? kLit : kDark;
            frame += on ? bar : off;
            frame += kPlain;
            frame += ' ';
        }
        frame += "\x1b[K\n";
    }
    // Labels alternate over two rows, as under the editor's columns.
    for (int labelRow = 0; labelRow < 2; ++labelRow) {
        std::string labels(size_t(5 + pitch * kNumBands + 4), ' ');
        for (int j = labelRow; j < kNumBands; j += 2)
            for (size_t c = 0; kNominalLabel[j][c] != '\0'; ++c) labels[size_t(5 + pitch * j) + c] = kNominalLabel[j][c];
        labels.erase(labels.find_last_not_of(' ') + 1);
        frame += labels + "\x1b[K\n";
    }
    linesDrawn = 1 + kLedSegments + 2;
    std::fwrite(frame.data(), 1, frame.size(), out);
    std::fflush(out);
}

void LiveDisplay::finish() {
    linesDrawn = 0;
    std::fflush(out);
}

}  // namespace lumetra
