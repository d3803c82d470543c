#include "tools/AnalyzeCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

#include "tools/AnalyzeError.h"
#include "tools/AnalyzeOptions.h"
#include "tools/AnalyzeReport.h"
#include "tools/AudioInput.h"
#include "tools/BandAnalyzer.h"
#include "tools/BandChart.h"
#include "tools/Calibration.h"
#include "tools/LevelAnalyzer.h"
#include "tools/Commands.h"
#include "tools/LiveDisplay.h"
#include "tools/OutputFile.h"
#include "tools/ProgressBar.h"

namespace lumetra {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void complain(const std::string& what, const std::string& reason) {
    std::fprintf(stderr, "lumetra analyze: %s: %s\n", what.c_str(), reason.c_str());
}

// An output path that names one of the inputs would truncate it before it is read.
void refuseOverwritingInputs(const AnalyzeOptions& options) {
    for (const std::string* out : {&options.csvPath, &options.jsonPath, &options.pngPath}) {
        struct stat outStat {};
        if (out->empty() || *out == "-" || ::stat(out->c_str(), &outStat) != 0) continue;
        for (const std::string& in : options.files) {
            struct stat inStat {};
            if (::stat(in.c_str(), &inStat) == 0 && inStat.st_dev == outStat.st_dev && inStat.st_ino == outStat.st_ino)
                throw UsageError(*out + ": is also an input file; refusing to overwrite it");
        }
    }
}

struct AnalyzeRun {
    explicit AnalyzeRun(const AnalyzeOptions& options) : options(options) {}
    const AnalyzeOptions& options;
    std::array<double, kNumBands> reference{};  // --reference's levels, NaN where it has none
    CsvWriter* csv = nullptr;
    LiveDisplay* live = nullptr;
    ProgressBar* progress = nullptr;
    AnalyzeTiming timing;
    int inputIndex = 0;
    int inputCount = 1;
};

// Runs one input through the engine, writing CSV rows and the live display on the way.
void analyzeInput(AudioInput& input, AnalyzeRun& s, FileResult& result) {
    const AnalyzeOptions& options = s.options;
    if (input.channels > 2)
        complain(input.name, std::to_string(input.channels) + " channels; analysing the first two");
    BandAnalyzer analyzer(input.sampleRate, options);
    bool measured[kNumBands];
    for (int j = 0; j < kNumBands; ++j) {
        result.bands[size_t(j)].centreHz = analyzer.centreHz(j);
        measured[j] = measurable(analyzer.centreHz(j), input.sampleRate);
    }

    const int block = options.blockFrames;
    std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
    float levels[kNumBands], levelDb[kNumBands], fractions[kNumBands];
    BandStats stats;
    const auto started = Clock::now();
    auto lastDraw = started - std::chrono::hours(1);
    const auto drawEvery = std::chrono::milliseconds(options.realtime ? 33 : 50);
    if (s.live) s.live->start(input.name + "  (" + describeControls(options) + ")", options.gainDb);

    auto draw = [&] {
        for (int j = 0; j < kNumBands; ++j) fractions[j] = analyzer.meterFraction(j);
        s.live->draw(fractions, result.durationSec(), double(input.frames) / input.sampleRate);
    };
    for (;;) {
        auto t0 = Clock::now();
        const int64_t n = input.read(left.data(), right.data(), block);
        auto t1 = Clock::now();
        s.timing.readSec += std::chrono::duration<double>(t1 - t0).count();
        if (n <= 0) break;
        analyzer.process(left.data(), right.data(), int(n));
        t0 = Clock::now();
        s.timing.engineSec += std::chrono::duration<double>(t0 - t1).count();
        for (int j = 0; j < kNumBands; ++j) levels[j] = analyzer.level(j);
        stats.add(levels, int(n));
        result.frames += n;
        if (s.csv) {
            for (int j = 0; j < kNumBands; ++j) levelDb[j] = measured[j] ? levelToDb(levels[j]) : std::nanf("");
            s.csv->row(input.name, result.durationSec(), levelDb);
            s.timing.writeSec += secondsSince(t0);
        }
        if (options.realtime) {
            const auto due = started + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(result.durationSec()));
            std::this_thread::sleep_until(due);
        }
        const auto now = Clock::now();
        if (s.live && now - lastDraw >= drawEvery) {
            draw();
            lastDraw = now;
        }
        if (s.progress)
            s.progress->update(input.name, (s.inputIndex + double(result.frames) / double(input.frames)) / s.inputCount);
    }
    if (s.live) {
        draw();
        s.live->finish();
    }
    if (result.frames == 0) throw UsageError("no audio frames (zero length)");
    stats.finish(result);
    result.analysed = true;
    s.timing.audioSec += result.durationSec();
}

// The same with the standard bank: its levels per block, its statistics at the end.
void analyzeMeasuredInput(AudioInput& input, AnalyzeRun& s, FileResult& result) {
    const AnalyzeOptions& options = s.options;
    if (input.channels > 2)
        complain(input.name, std::to_string(input.channels) + " channels; analysing the first two");
    LevelAnalyzer analyzer(input.sampleRate, options);
    const int block = options.blockFrames;
    analyzer.reserve(block);
    std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
    float levelDb[kLevelEntries], fractions[kNumBands];
    const auto started = Clock::now();
    auto lastDraw = started - std::chrono::hours(1);
    const auto drawEvery = std::chrono::milliseconds(options.realtime ? 33 : 50);
    if (s.live)
        s.live->start(input.name + "  (" + levelName(options) + " " + levelUnit(options) + ", " +
                      describeControls(options) + ")", options.gainDb);
    auto draw = [&] {
        for (int j = 0; j < kNumBands; ++j) fractions[j] = analyzer.meterFraction(j);
        s.live->draw(fractions, result.durationSec(), double(input.frames) / input.sampleRate);
    };
    for (;;) {
        auto t0 = Clock::now();
        const int64_t n = input.read(left.data(), right.data(), block);
        auto t1 = Clock::now();
        s.timing.readSec += std::chrono::duration<double>(t1 - t0).count();
        if (n <= 0) break;
        analyzer.process(left.data(), right.data(), int(n));
        t0 = Clock::now();
        s.timing.engineSec += std::chrono::duration<double>(t0 - t1).count();
        result.frames += n;
        if (s.csv) {
            for (int e = 0; e < kLevelEntries; ++e) levelDb[e] = analyzer.levelDb(e);
            s.csv->row(input.name, result.durationSec(), levelDb);
            s.timing.writeSec += secondsSince(t0);
        }
        if (options.realtime) {
            const auto due = started + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(result.durationSec()));
            std::this_thread::sleep_until(due);
        }
        const auto now = Clock::now();
        if (s.live && now - lastDraw >= drawEvery) {
            draw();
            lastDraw = now;
        }
        if (s.progress)
            s.progress->update(input.name, (s.inputIndex + double(result.frames) / double(input.frames)) / s.inputCount);
    }
    if (s.live) {
        draw();
        s.live->finish();
    }
    if (result.frames == 0) throw UsageError("no audio frames (zero length)");
    result.measured = true;
    result.levelLabel = levelName(options) + ", " + levelUnit(options);
    for (int j = 0; j < kNumBands; ++j) {
        BandSummary& b = result.bands[size_t(j)];
        b.centreHz = analyzer.centreHz(j);
        b.aboveNyquist = !analyzer.measurable(j);
        b.stats = analyzer.statistics(j);
        b.referenceDb = float(s.reference[size_t(j)]);
        // What the chart and the batch line show: Lmax as the maximum, Leq as the average.
        b.maxDb = b.stats.lmax;
        b.avgDb = b.stats.leq;
        b.finalDb = analyzer.levelDb(j);
    }
    result.total.stats = analyzer.statistics(kTotalEntry);
    result.analysed = true;
    s.timing.audioSec += result.durationSec();
}

int runAnalysis(const AnalyzeOptions& givenOptions, AnalyzeTiming* timing) {
    AnalyzeOptions options = givenOptions;
    std::array<double, kNumBands> reference;
    reference.fill(std::nan(""));
    if (!options.calibratePath.empty()) {
        const Calibration c = calibrate(options);
        options.offsetDb = c.offsetDb;
        options.calibrated = true;
        if (!options.quiet && !options.writesToStdout())
            std::printf("calibration: %s: %.0f Hz tone at %.2f dBFS over %.1f s is %.1f dB SPL: offset %+.2f dB\n",
                        options.calibratePath.c_str(), c.toneHz, c.levelDbFs, c.steadySec, options.calibratorLevelDb,
                        c.offsetDb);
    }
    if (!options.referencePath.empty()) reference = readReferenceCurve(options.referencePath);
    const auto started = Clock::now();
    refuseOverwritingInputs(options);
    OutputFile csvFile, jsonFile, pngFile;
    csvFile.open(options.csvPath);
    jsonFile.open(options.jsonPath);
    pngFile.open(options.pngPath);

    const bool liveOn = options.live && !options.writesToStdout() && ::isatty(STDOUT_FILENO);
    const bool textOn = !options.quiet && !options.writesToStdout();
    std::optional<CsvWriter> csv;
    if (csvFile) csv.emplace(csvFile.get(), options.files.size() > 1, &options);
    std::optional<LiveDisplay> live;
    if (liveOn) live.emplace(stdout, terminalColumns(STDOUT_FILENO));
    std::optional<ProgressBar> progress;
    if (!liveOn && ::isatty(STDERR_FILENO)) progress.emplace(stderr);

    AnalyzeRun s(options);
    s.reference = reference;
    s.csv = csv ? &*csv : nullptr;
    s.live = live ? &*live : nullptr;
    s.progress = progress ? &*progress : nullptr;
    s.inputCount = int(std::max<size_t>(options.files.size(), 1));

    int exitCode = 0;
    std::vector<FileResult> results;
    for (s.inputIndex = 0; s.inputIndex < s.inputCount; ++s.inputIndex) {
        const bool builtIn = options.files.empty();
        FileResult& result = results.emplace_back();
        result.name = builtIn ? "built-in test signal" : options.files[size_t(s.inputIndex)];
        try {
            const auto t0 = Clock::now();
            std::unique_ptr<AudioInput> input = builtIn ? openTestSignal() : openAudioFile(result.name);
            s.timing.readSec += secondsSince(t0);
            result.format = input->format;
            result.sampleRate = input->sampleRate;
            result.channels = input->channels;
            options.standard() ? analyzeMeasuredInput(*input, s, result) : analyzeInput(*input, s, result);
        } catch (const UsageError& e) {
            result.error = e.what();
            exitCode = std::max(exitCode, 2);
        } catch (const AnalysisError& e) {
            result.error = e.what();
            exitCode = std::max(exitCode, 1);
        }
        if (!result.error.empty()) {
            if (s.progress) s.progress->clear();
            complain(result.name, result.error);
            result.analysed = false;
            continue;
        }
        if (textOn) {
            if (s.progress) s.progress->clear();
            if (s.inputCount == 1)
                writeSummaryTable(stdout, result, options);
            else
                writeSummaryLine(stdout, result);
            std::fflush(stdout);
        }
    }
    if (s.progress) s.progress->clear();

    const auto t0 = Clock::now();
    for (OutputFile* out : {&csvFile, &jsonFile, &pngFile}) {
        try {
            if (out == &jsonFile && jsonFile) writeJson(jsonFile.get(), results, options);
            if (out == &pngFile && pngFile) writeBandChart(pngFile.get(), results, options);
            out->close();
        } catch (const AnalysisError& e) {
            complain(out->path(), e.what());
            exitCode = std::max(exitCode, 1);
        }
    }
    if (!options.pngPath.empty()) releaseFontCaches();  // the chart was this run's only text drawing
    s.timing.writeSec += secondsSince(t0);
    s.timing.totalSec = secondsSince(started);
    if (options.timing) {
        const AnalyzeTiming& t = s.timing;
        std::fprintf(stderr,
                     "lumetra analyze: %.3f s of audio in %.3f s (%.1fx real time): reading %.3f s, "
                     "engine %.3f s, writing %.3f s, other %.3f s\n",
                     t.audioSec, t.totalSec, t.totalSec > 0 ? t.audioSec / t.totalSec : 0.0, t.readSec, t.engineSec,
                     t.writeSec, t.totalSec - t.readSec - t.engineSec - t.writeSec);
    }
    if (timing) *timing = s.timing;
    return exitCode;
}

}  // namespace

int analyze(const std::vector<std::string>& args, AnalyzeTiming* timing) {
    AnalyzeOptions options;
    try {
        options = parseAnalyzeOptions(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "lumetra analyze: %s (see 'lumetra analyze --help')\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(kAnalyzeUsage, stdout);
        return 0;
    }
    try {
        return runAnalysis(options, timing);
    } catch (const UsageError& e) {  // an output that cannot be created
        std::fprintf(stderr, "lumetra analyze: %s\n", e.what());
        return 2;
    }
}

int runAnalyze(const std::vector<std::string>& args) { return analyze(args, nullptr); }

}  // namespace lumetra
