// Command-line options of `lumetra analyze` and their mapping onto the plug-in's parameter values.
#pragma once

#include <string>
#include <vector>

#include "engine/MeasurementDesign.h"
#include "tools/AnalyzeError.h"
#include "tools/Conformance.h"

namespace lumetra {

constexpr double kDefaultCalibratorDb = 94.0;  // a sound calibrator's usual level, dB SPL at 1 kHz

struct AnalyzeOptions {
    std::vector<std::string> files;  // empty: the built-in test signal
    char mode = 'M';                 // L, M or R: the analysis signal
    int resp = 1;                    // response mode 1, 2 or 3
    double delayMs = 0.0;            // analysis delay, 0 to 300 ms
    double gainDb = 0.0;             // meter window gain, -20 to +20 dB
    int blockFrames = 512;           // frames per engine call
    std::string csvPath;             // "" none, "-" stdout
    std::string jsonPath;
    std::string pngPath;
    bool realtime = false;           // pace the analysis at the audio's own speed
    bool live = true;                // live display when stdout is a terminal (--no-live turns it off)
    bool quiet = false;              // no summary on stdout
    bool timing = false;             // time split (reading, engine, writing) on stderr
    bool help = false;

    // The measurement options: the standard bank and what it measures (all but --filters need it).
    FilterBank filters = FilterBank::Plugin;
    char timeWeighting = 'F';               // F (125 ms), S (1 s) or L (energy mean: Leq)
    Weighting weighting = Weighting::Z;
    std::string calibratePath;              // a recording of a sound calibrator
    double calibratorLevelDb = kDefaultCalibratorDb;
    double offsetDb = 0;                    // dB SPL = dB re full scale + offsetDb
    bool calibrated = false;                // --offset given, or found by --calibrate
    std::string referencePath;              // a CSV of band levels written by analyze
    bool standard() const { return filters == FilterBank::Standard; }

    // The plug-in parameter values (0..1) these options stand for.
    float modeValue() const;
    float respValue() const;
    float delayValue() const;
    float volumeValue() const;
    // The reverse: the controls the plug-in's parameter values stand for, read as the engine reads
    // Mode and Resp (below 0.3, below 0.7, the rest).
    void setControls(float delayValue, float volumeValue, float modeValue, float respValue);
    bool writesToStdout() const { return csvPath == "-" || jsonPath == "-" || pngPath == "-"; }
};

constexpr int kMinBlockFrames = 1;
constexpr int kMaxBlockFrames = 65536;
constexpr double kMaxDelayMs = 300.0;
constexpr double kMaxGainDb = 20.0;

// One option of a command line as the commands' parsers take it: --name=value is accepted as well
// as --name value. name() is the option without an inline value; value() gives the inline value or
// takes the next argument (UsageError when there is none); a flag refuses an inline value.
class OptionArgument {
public:
    OptionArgument(const std::vector<std::string>& args, size_t& index);
    const std::string& name() const { return option; }
    std::string value();
    void flag(bool& target, bool set = true) const;

private:
    const std::vector<std::string>& args;
    size_t& index;
    std::string option;
    std::string inlineValue;
    bool hasInline = false;
};

// Throws UsageError naming the option and the reason.
AnalyzeOptions parseAnalyzeOptions(const std::vector<std::string>& args);

// One of the plug-in's controls (--mode, --resp, --delay, --gain) into options; false when name is
// none of them. Throws UsageError for a bad value. Shared with `lumetra listen`.
bool parseControlOption(const std::string& name, const std::string& value, AnalyzeOptions& options);
// One of the measurement options (--filters, --time, --weighting, --calibrate, --calibrator-level,
// --offset, --reference) into options; false when name is none of them. Shared with `lumetra
// listen`; checkMeasurementOptions() then checks how they combine.
bool parseMeasurementOption(const std::string& name, const std::string& value, AnalyzeOptions& options);
void checkMeasurementOptions(const AnalyzeOptions& options);
// "dB SPL" or "dBFS", and the level's name, e.g. "LAF", "LZS", "LCeq".
std::string levelUnit(const AnalyzeOptions& options);
std::string levelName(const AnalyzeOptions& options);
// A finite number from low to high for option; throws UsageError naming the option.
double parseNumber(const std::string& option, const std::string& text, double low, double high);

extern const char* const kAnalyzeUsage;
extern const char* const kControlsUsage;  // the controls' lines of the usage texts
extern const char* const kMeasurementUsage;  // the measurement options' lines

}  // namespace lumetra
