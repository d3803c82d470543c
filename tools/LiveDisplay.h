// The live terminal display of `lumetra analyze`: the 32 band meters as LED columns of 16
// segments with their nominal labels, redrawn in place with ANSI escapes. Same drawing rule as
// the editor's meters: the lower half of the meter window fills the column from the bottom, the
// upper half folds back, the lit part retreating toward the top segment.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace lumetra {

constexpr int kLedSegments = 16;

// Lit segments of one column for a meter fraction 0..1; bit s is segment s, bit 0 the bottom one.
uint32_t litSegments(float fraction);

class LiveDisplay {
public:
    // columns: the terminal's width in characters (picks a column pitch of 3 or 2).
    LiveDisplay(FILE* out, int columns);
    ~LiveDisplay();
    LiveDisplay(const LiveDisplay&) = delete;
    LiveDisplay& operator=(const LiveDisplay&) = delete;

    // One input: the title line and the dB scale of the meter window (gain as --gain).
    void start(const std::string& title, double gainDb);
    // durationSec 0: a run of no set length.
    void draw(const float* fractions, double timeSec, double durationSec);
    // Leaves the last picture on the screen and moves below it.
    void finish();

private:
    FILE* out;
    int pitch;
    std::string title;
    double gainDb = 0;
    int linesDrawn = 0;  // lines of the current picture, to move back over
    std::string frame;
};

// Terminal width of a descriptor, or 80 when it cannot be asked.
int terminalColumns(int fd);

}  // namespace lumetra
