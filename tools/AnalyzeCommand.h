// `lumetra analyze`, callable in-process (the benchmark measures where the time goes).
#pragma once

#include <string>
#include <vector>

namespace lumetra {

// Wall-clock seconds of one run, split by where they were spent.
struct AnalyzeTiming {
    double totalSec = 0;
    double readSec = 0;    // decoding the input (or making the test signal)
    double engineSec = 0;  // the effect's processReplacing
    double writeSec = 0;   // CSV rows, JSON, PNG
    double audioSec = 0;   // duration of the audio analysed
};

// The whole command: options, inputs, outputs, exit code (0, 1 or 2). timing may be null.
int analyze(const std::vector<std::string>& args, AnalyzeTiming* timing);

}  // namespace lumetra
