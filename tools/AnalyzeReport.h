// What `lumetra analyze` learns about one input, and the writers of its outputs: the per-block CSV,
// the JSON summary and the text summary. PNG: BandChart.h. Thread: the tool's only thread.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/AnalyzeBands.h"
#include "tools/LevelAnalyzer.h"

namespace lumetra {

struct AnalyzeOptions;

// A band whose centre lies at or above half the sample rate cannot be measured at that rate: its
// values are NaN, written as an empty CSV field, JSON null and "n/a".
struct BandSummary {
    float centreHz = 0;   // the exact centre the engine uses
    float maxDb = -400;   // highest block value
    float avgDb = -400;   // power average over the input
    float finalDb = -400; // after the last block
    bool aboveNyquist = false;
    // The standard bank's: the statistics, and the difference from --reference's level.
    LevelStatistics stats{};
    float referenceDb = std::nanf("");
};

// True when the band's centre lies below half the sample rate.
inline bool measurable(float centreHz, double sampleRate) { return 2.0 * centreHz < sampleRate; }

struct FileResult {
    std::string name;
    std::string format;
    double sampleRate = 0;
    int channels = 0;
    int64_t frames = 0;  // frames analysed
    std::string error;   // set when the input could not be analysed (fully)
    bool analysed = false;
    std::array<BandSummary, kNumBands> bands{};
    bool measured = false;  // by the standard bank: the stats below and of every band
    std::string levelLabel; // its level's name and unit, e.g. "LAF, dB SPL"
    BandSummary total{};    // the broadband total

    double durationSec() const { return sampleRate > 0 ? double(frames) / sampleRate : 0.0; }
    int loudestBand() const;  // by maximum level, among the measurable bands
};

// Running maximum and power average of the band levels, block by block.
class BandStats {
public:
    // levels: the 32 linear band levels after a block of n frames.
    void add(const float* levels, int n);
    void finish(FileResult& result) const;
    int64_t frameCount() const { return frames; }

private:
    std::array<double, kNumBands> powerSum{};  // sum of level^2 x frames
    std::array<float, kNumBands> maxLevel{};
    std::array<float, kNumBands> lastLevel{};
    int64_t frames = 0;
};

// Shortest text that reads back as the same float; "null" for a value that is not finite.
std::string formatFloat(float value);

class CsvWriter {
public:
    // withFileColumn: a first column naming the input, for batches. A level that is not finite
    // (a band above half the sample rate) leaves its field empty. With the standard bank the
    // band columns carry the level's name and unit ("1000 Hz LAF dB SPL") and a broadband
    // total follows them.
    CsvWriter(FILE* out, bool withFileColumn, const AnalyzeOptions* measured = nullptr);
    // levelDb: a value per band (and the total, with the standard bank).
    void row(const std::string& file, double timeSec, const float* levelDb);

private:
    FILE* out;
    bool withFileColumn;
    int columns = kNumBands;
    std::string line;
};

void writeJson(FILE* out, const std::vector<FileResult>& results, const AnalyzeOptions& options);
// Parts of the JSON output that `lumetra listen` shares: a quoted, escaped string, and the array of
// the 32 band objects, each preceded by separator (after the first, without its leading comma).
std::string jsonString(const std::string& text);
std::string jsonBandList(const FileResult& result, const std::string& separator);
// The standard bank's: the bands with their statistics, then "total" (no leading comma).
std::string jsonMeasuredBands(const FileResult& result, const std::string& separator);
// The standard bank's description: filters, weighting, time weighting, unit and offset (no
// leading comma).
std::string jsonMeasurement(const AnalyzeOptions& options);
// "LAF, dB SPL (re 20 uPa), calibration offset +117.01 dB" and the like.
std::string describeMeasurement(const AnalyzeOptions& options);
// The table of the 32 bands (one input) and the one-line summary (each input of a batch).
void writeSummaryTable(FILE* out, const FileResult& result, const AnalyzeOptions& options);
void writeSummaryLine(FILE* out, const FileResult& result);

std::string describeControls(const AnalyzeOptions& options);

}  // namespace lumetra
