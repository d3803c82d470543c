// What turns the tool's levels into dB SPL: the offset from a recording of a sound calibrator,
// and the reference curve of --reference. Thread: the tool's main thread.
#pragma once

#include <array>
#include <string>

#include "tools/AnalyzeBands.h"

namespace lumetra {

struct AnalyzeOptions;

struct Calibration {
    double offsetDb = 0;     // dB SPL = dB re full scale + offsetDb
    double toneHz = 0;       // mid-band frequency of the band that holds the tone
    double levelDbFs = 0;    // the tone's level in the recording, dB re full scale
    double steadySec = 0;    // how much of the recording the level was taken over
};

// Analyses options.calibratePath (the analysis signal --mode picks, unweighted) and answers the
// offset that makes its steady tone read options.calibratorLevelDb. Throws UsageError
// ("PATH: reason") for a file that cannot be read or holds no steady tone.
Calibration calibrate(const AnalyzeOptions& options);

// Each band's level in a CSV that `lumetra analyze --csv` wrote for one input: the energy mean
// of its column over the rows, each row weighted by the time it covers. NaN for a band the file
// has no level for. Throws UsageError ("PATH: reason") for a file that is not such a CSV.
std::array<double, kNumBands> readReferenceCurve(const std::string& path);

}  // namespace lumetra
