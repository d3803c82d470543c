// The plug-in's analyzer engine run without a host: the engine at the input's sample rate, fed
// one stereo block at a time, with the 32 meter fractions of every block as the editor decodes
// them from parameter 1 and the band levels read from the detectors.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "tools/AnalyzeBands.h"

namespace lumetra {

struct AnalyzeOptions;
class AnalyzerEngine;

class BandAnalyzer {
public:
    BandAnalyzer(double sampleRateHz, const AnalyzeOptions& options);
    ~BandAnalyzer();

    // Runs one block of n frames (n >= 0) through the engine, as the effect's processReplacing does.
    void process(float* left, float* right, int n);

    // After process(): band level (linear RMS, 1.0 = full scale) and the same in dB as the
    // engine computes it for its meters (levelToDb).
    float level(int band) const;
    float levelDb(int band) const;
    // The meter fraction 0..1 decoded from the packed value the block sent for the band.
    float meterFraction(int band) const { return fractions[size_t(band)]; }
    float centreHz(int band) const;

private:
    std::array<float, kNumBands> fractions{};
    std::unique_ptr<AnalyzerEngine> engine;
};

}  // namespace lumetra
