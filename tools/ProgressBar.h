// A progress bar on stderr for `lumetra analyze` runs without the live display: it appears only
// once the work has taken a second, is redrawn at most ten times a second, and is erased at the end.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace lumetra {

class ProgressBar {
public:
    explicit ProgressBar(FILE* out);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(const std::string& label, double fraction);
    void clear();

private:
    using Clock = std::chrono::steady_clock;
    FILE* out;
    Clock::time_point started = Clock::now();
    Clock::time_point lastDraw{};
    bool shown = false;
};

}  // namespace lumetra
