#include "tools/AnalyzeOptions.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace lumetra {

// The plug-in's controls, as both `lumetra analyze` and `lumetra listen` take them.
#define CONTROLS_USAGE \
    "Controls (as on the plug-in):\n" \
    "  --mode L|M|R      analysis signal: left, left + right (default), right. The sum is not\n" \
    "                    halved: a mono input reads 6.02 dB higher in M than in L or R\n" \
    "  --resp 1|2|3      meter ballistics, 1 fastest (default) to 3 slowest\n" \
    "  --delay MS        analysis delay, 0 to 300 ms (default 0)\n" \
    "  --gain DB         meter window gain, -20 to +20 dB (default 0); moves the live display's\n" \
    "                    window only, never the dB values written\n"

const char* const kControlsUsage = CONTROLS_USAGE;

#define MEASUREMENT_USAGE \
    "Measurement (all but --filters need --filters standard):\n" \
    "  --filters plugin|standard  the plug-in's own bank and ballistics (default), or the\n" \
    "                    standard bank: 32 one-third-octave bands at base-10 mid-band frequencies,\n" \
    "                    Butterworth band-passes (sixth-order, eighth in the top octave) that meet\n" \
    "                    class 1 of IEC 61260-1\n" \
    "                    ('lumetra conformance --filters standard' shows it); bands above 0.45 of\n" \
    "                    the sample rate are not measured. Levels are then energy levels with a\n" \
    "                    broadband total, and per band Leq, Lmax, Lmin, L10, L50 and L90\n" \
    "  --time fast|slow|leq  time weighting (IEC 61672-1): fast (F, 125 ms, default), slow (S,\n" \
    "                    1 s), or leq: the energy mean over each row's block (listen: each --every\n" \
    "                    interval). Lmax, Lmin and the Ln (level exceeded n % of the time) come\n" \
    "                    from the time-weighted level every 10 ms (leq: the 10 ms energy means),\n" \
    "                    leaving out the first 0.5 s (slow: 5 s) while filters and weighting settle\n" \
    "  --weighting A|C|Z frequency weighting (IEC 61672-1) of the bands and the total: LAeq,\n" \
    "                    LCeq ... (default Z, none)\n" \
    "  --calibrate FILE  a recording of a sound calibrator through the same microphone and gain:\n" \
    "                    its steady tone sets the offset to dB SPL (re 20 uPa). A file that does\n" \
    "                    not hold a steady tone is refused\n" \
    "  --calibrator-level DB  the calibrator's level, 20 to 160 dB SPL (default 94)\n" \
    "  --offset DB       dB SPL = dB re full scale + DB, -100 to 250 (instead of --calibrate)\n" \
    "  --reference CSV   a --csv of 'lumetra analyze' (one input): each band's difference from\n" \
    "                    its level there (the energy mean of its rows), as diff_db\n" \
    "  For example, A-weighted Leq in dB SPL with a 94 dB calibrator recorded as cal.wav:\n" \
    "    lumetra analyze --filters standard --calibrate cal.wav --weighting A --time leq room.wav\n"

const char* const kMeasurementUsage = MEASUREMENT_USAGE;

bool parseMeasurementOption(const std::string& name, const std::string& value, AnalyzeOptions& options) {
    if (name == "--filters") {
        options.filters = parseFilterBank(value);
    } else if (name == "--time") {
        if (value != "fast" && value != "slow" && value != "leq" && value != "F" && value != "S")
            throw UsageError("--time: '" + value + "' is not one of fast, slow, leq");
        options.timeWeighting = value == "leq" ? 'L' : char(std::toupper(static_cast<unsigned char>(value[0])));
    } else if (name == "--weighting") {
        if (value == "A" || value == "a") options.weighting = Weighting::A;
        else if (value == "C" || value == "c") options.weighting = Weighting::C;
        else if (value == "Z" || value == "z") options.weighting = Weighting::Z;
        else throw UsageError("--weighting: '" + value + "' is not one of A, C, Z");
    } else if (name == "--calibrate") {
        if (value.empty()) throw UsageError("--calibrate: empty path");
        options.calibratePath = value;
    } else if (name == "--calibrator-level") {
        options.calibratorLevelDb = parseNumber(name, value, 20.0, 160.0);
    } else if (name == "--offset") {
        options.offsetDb = parseNumber(name, value, -100.0, 250.0);
        options.calibrated = true;
    } else if (name == "--reference") {
        if (value.empty()) throw UsageError("--reference: empty path");
        options.referencePath = value;
    } else {
        return false;
    }
    return true;
}

void checkMeasurementOptions(const AnalyzeOptions& o) {
    const AnalyzeOptions plain;
    if (!o.standard()) {
        const char* given = o.timeWeighting != plain.timeWeighting ? "--time"
                            : o.weighting != plain.weighting     ? "--weighting"
                            : !o.calibratePath.empty()           ? "--calibrate"
                            : o.calibratorLevelDb != plain.calibratorLevelDb ? "--calibrator-level"
                            : o.calibrated                       ? "--offset"
                            : !o.referencePath.empty()           ? "--reference"
                                                                 : nullptr;
        if (given) throw UsageError(std::string(given) + ": needs --filters standard");
    }
    if (o.calibrated && !o.calibratePath.empty()) throw UsageError("--offset and --calibrate: give one of them");
    if (o.calibratorLevelDb != plain.calibratorLevelDb && o.calibratePath.empty())
        throw UsageError("--calibrator-level: only with --calibrate");
}

std::string levelUnit(const AnalyzeOptions& o) { return o.calibrated ? "dB SPL" : "dBFS"; }

std::string levelName(const AnalyzeOptions& o) {
    return std::string("L") + weightingName(o.weighting) + (o.timeWeighting == 'L' ? "eq" : std::string(1, o.timeWeighting));
}

const char* const kAnalyzeUsage =
    "usage: lumetra analyze [OPTIONS] [FILE ...]\n"
    "\n"
    "Runs the analyzer engine of the plug-in over each audio FILE (WAV, FLAC, AIFF, Ogg; read\n"
    "through libsndfile) at the file's own sample rate and reports the 32 one-third-octave band\n"
    "levels, 16 Hz to 20 kHz, with the same ballistics as the plug-in's meters. Without FILE it\n"
    "analyses a built-in test signal (pink noise and steady tones at 63 Hz, 1 kHz and 8 kHz,\n"
    "10 s, stereo, 48 kHz). A mono file feeds both channels; of a file with more channels the\n"
    "first two are used.\n"
    "\n"
    CONTROLS_USAGE
    "  --block N         frames per engine call, 1 to 65536 (default 512): one CSV row each\n"
    "\n"
    MEASUREMENT_USAGE
    "\n"
    "Outputs (PATH '-' is standard output):\n"
    "  --csv PATH        one row per block: time_s (end of the block, seconds from the start\n"
    "                    of the file), then the level of each band in dB, columns named by the\n"
    "                    nominal band frequency in Hz (16 ... 20000). With several files a first\n"
    "                    column 'file' names the file of each row. Standard bank: each column\n"
    "                    named with level and unit ('1000 Hz LAF dB SPL'), then the broadband\n"
    "                    total ('total LAF dB SPL')\n"
    "  --json PATH       an array with one object per file: file, sample_rate, channels, frames,\n"
    "                    duration_s, the controls used, and 'bands': per band nominal_hz,\n"
    "                    centre_hz (the exact centre the engine uses), max_db, avg_db, final_db.\n"
    "                    A file that could not be analysed has an 'error' member instead.\n"
    "                    Standard bank: filters, weighting, time, level (e.g. \"LAeq\"), unit,\n"
    "                    offset_db, per band leq_db, lmax_db, lmin_db, l10_db, l50_db, l90_db\n"
    "                    (and reference_db, diff_db with --reference), and 'total' the same\n"
    "  --png PATH        bar chart of each band's maximum and average level, 1200 x 500 pixels\n"
    "                    per file (files stacked top to bottom)\n"
    "  --realtime        go at the audio's own pace instead of as fast as possible\n"
    "  --no-live         no live display, even on a terminal\n"
    "  --quiet           no summary on standard output\n"
    "  --timing          print the time spent reading, in the engine and writing (stderr)\n"
    "  -h, --help        this text\n"
    "\n"
    "Levels are band levels in dB re full scale, 20 * log10(level + 1e-20), where level is the\n"
    "band's smoothed RMS on the scale of the samples (1.0 = full scale): silence reads -400 dB,\n"
    "a full-scale sine -3.01 dB, a -20 dBFS sine -23.01 dB. max_db is the highest block value,\n"
    "avg_db the power average over the file (20 * log10(sqrt(mean of level^2) + 1e-20), blocks\n"
    "weighted by their length), final_db the value after the last block. A band centred at or\n"
    "above half the sample rate cannot be measured: its CSV fields are empty, its JSON values\n"
    "null (with \"above_nyquist\": true), its table entries n/a. With the standard bank a level is\n"
    "10 * log10 of the band's (weighted, time-weighted) mean square, on the same scale (a full-\n"
    "scale sine -3.01 dBFS), plus the calibration offset in dB SPL.\n"
    "\n"
    "On a terminal the bands are shown live as the LED columns of the plug-in's editor (the\n"
    "lower half of the window fills from the bottom, the upper half folds back from the top).\n"
    "Otherwise one file gives a table of the 32 bands (nominal and exact centre, maximum and\n"
    "average level) and several files one summary line each. A progress bar goes to stderr\n"
    "for work longer than a second when stderr is a terminal and the live display is off.\n"
    "\n"
    "Exit status: 0 success, 1 analysis error (a read or write failure during the work, or\n"
    "samples that are not finite numbers), 2 usage or input error (a bad option; a file that\n"
    "is missing, unreadable, not audio, empty, or has a bad header or a sample rate outside\n"
    "1000 to 768000 Hz; an output that cannot be created).\n"
    "In a batch every file is attempted; the status is the worst.\n";

double parseNumber(const std::string& option, const std::string& text, double low, double high) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(value))
        throw UsageError(option + ": '" + text + "' is not a number");
    if (value < low || value > high)
        throw UsageError(option + ": " + text + " is out of range (" + std::to_string(int(low)) +
                         " to " + std::to_string(int(high)) + ")");
    return value;
}

bool parseControlOption(const std::string& name, const std::string& value, AnalyzeOptions& options) {
    if (name == "--mode") {
        if (value != "L" && value != "M" && value != "R" && value != "l" && value != "m" && value != "r")
            throw UsageError("--mode: '" + value + "' is not one of L, M, R");
        options.mode = char(std::toupper(static_cast<unsigned char>(value[0])));
    } else if (name == "--resp") {
        if (value != "1" && value != "2" && value != "3")
            throw UsageError("--resp: '" + value + "' is not one of 1, 2, 3");
        options.resp = value[0] - '0';
    } else if (name == "--delay") {
        options.delayMs = parseNumber(name, value, 0.0, kMaxDelayMs);
    } else if (name == "--gain") {
        options.gainDb = parseNumber(name, value, -kMaxGainDb, kMaxGainDb);
    } else {
        return false;
    }
    return true;
}

float AnalyzeOptions::modeValue() const { return mode == 'L' ? 0.0f : mode == 'M' ? 0.5f : 1.0f; }
float AnalyzeOptions::respValue() const { return resp == 1 ? 0.0f : resp == 2 ? 0.5f : 1.0f; }
float AnalyzeOptions::delayValue() const { return float(delayMs / kMaxDelayMs); }
float AnalyzeOptions::volumeValue() const { return float((gainDb + kMaxGainDb) / (2.0 * kMaxGainDb)); }

void AnalyzeOptions::setControls(float delay, float volume, float modeIn, float respIn) {
    mode = modeIn < 0.3f ? 'L' : modeIn < 0.7f ? 'M' : 'R';
    resp = respIn < 0.3f ? 1 : respIn < 0.7f ? 2 : 3;
    delayMs = double(delay) * kMaxDelayMs;
    gainDb = double(volume) * 2.0 * kMaxGainDb - kMaxGainDb;
}

OptionArgument::OptionArgument(const std::vector<std::string>& args, size_t& index)
    : args(args), index(index), option(args[index]) {
    if (const size_t eq = option.find('='); option.rfind("--", 0) == 0 && eq != std::string::npos) {
        inlineValue = option.substr(eq + 1);
        option.resize(eq);
        hasInline = true;
    }
}

std::string OptionArgument::value() {
    if (hasInline) return inlineValue;
    if (index + 1 >= args.size()) throw UsageError(option + ": missing value");
    return args[++index];
}

void OptionArgument::flag(bool& target, bool set) const {
    if (hasInline) throw UsageError(option + ": takes no value");
    target = set;
}

AnalyzeOptions parseAnalyzeOptions(const std::vector<std::string>& args) {
    AnalyzeOptions options;
    bool onlyFiles = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (onlyFiles || arg == "-" || arg.empty() || arg[0] != '-') {
            options.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        OptionArgument option(args, i);
        arg = option.name();
        auto value = [&] { return option.value(); };
        auto pathValue = [&](const std::string& path) {
            if (path.empty()) throw UsageError(arg + ": empty path");
            return path;
        };
        auto flag = [&](bool& target) { option.flag(target); };
        if (arg == "-h" || arg == "--help") {
            flag(options.help);
        } else if (arg == "--mode" || arg == "--resp" || arg == "--delay" || arg == "--gain") {
            parseControlOption(arg, value(), options);
        } else if (arg == "--filters" || arg == "--time" || arg == "--weighting" || arg == "--calibrate" ||
                   arg == "--calibrator-level" || arg == "--offset" || arg == "--reference") {
            parseMeasurementOption(arg, value(), options);
        } else if (arg == "--block") {
            const std::string v = value();
            const double n = parseNumber(arg, v, kMinBlockFrames, kMaxBlockFrames);
            if (n != std::floor(n)) throw UsageError("--block: '" + v + "' is not a whole number");
            options.blockFrames = int(n);
        } else if (arg == "--csv") {
            options.csvPath = pathValue(value());
        } else if (arg == "--json") {
            options.jsonPath = pathValue(value());
        } else if (arg == "--png") {
            options.pngPath = pathValue(value());
        } else if (arg == "--realtime") {
            flag(options.realtime);
        } else if (arg == "--no-live") {
            bool noLive = false;
            flag(noLive);
            options.live = !noLive;
        } else if (arg == "--quiet" || arg == "-q") {
            flag(options.quiet);
        } else if (arg == "--timing") {
            flag(options.timing);
        } else {
            throw UsageError("unknown option '" + arg + "'");
        }
    }
    int toStdout = 0;
    for (const std::string* path : {&options.csvPath, &options.jsonPath, &options.pngPath}) toStdout += *path == "-";
    if (toStdout > 1) throw UsageError("only one of --csv, --json, --png can write to standard output");
    for (const std::string& file : options.files)
        if (file == "-") throw UsageError("reading audio from standard input is not supported; name a file");
    checkMeasurementOptions(options);
    return options;
}

}  // namespace lumetra
