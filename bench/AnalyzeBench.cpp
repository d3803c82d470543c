// `lumetra analyze --csv` on a 10-minute stereo 48 kHz WAV file made here: real-time factor of
// the whole command, and how its wall time splits between reading, the engine and writing; then
// the same file through the plug-in's bank and through the standard bank (--filters standard,
// A weighting, fast), with the bank's nanoseconds per sample of audio, in the same run.
#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "tools/AnalyzeCommand.h"
#include "tools/AnalyzeOptions.h"
#include "tools/BandAnalyzer.h"
#include "tools/LevelAnalyzer.h"
#include "tools/TestSignal.h"

namespace {

constexpr int kRateHz = 48000;
constexpr int64_t kFrames = int64_t(kRateHz) * 600;

// The built-in test signal (pink noise and tones) repeated for ten minutes, 16-bit PCM.
std::string makeLongFile(const std::string& dir) {
    const std::string path = dir + "/ten-minutes.wav";
    SF_INFO info{};
    info.samplerate = kRateHz;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return {};
    lumetra::TestSignal signal;
    constexpr int kChunk = 48000;
    std::vector<float> left(kChunk), right(kChunk), frames(2 * kChunk);
    for (int64_t done = 0; done < kFrames; done += kChunk) {
        signal.generate(left.data(), right.data(), kChunk);
        for (int k = 0; k < kChunk; ++k) {
            frames[size_t(2 * k)] = left[size_t(k)];
            frames[size_t(2 * k + 1)] = right[size_t(k)];
        }
        sf_writef_float(file, frames.data(), kChunk);
    }
    sf_close(file);
    return path;
}

// The file is made once for every benchmark of the run.
struct LongFile {
    std::string dir, path;
    LongFile() {
        dir = (std::filesystem::temp_directory_path() / "lumetra-bench-XXXXXX").string();
        if (::mkdtemp(dir.data())) path = makeLongFile(dir);
    }
    ~LongFile() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

const LongFile& longFile() {
    static const LongFile file;
    return file;
}

void analyzeCsv(benchmark::State& state, std::vector<std::string> more) {
    const std::string& input = longFile().path;
    if (input.empty()) {
        state.SkipWithError("no temporary file");
        return;
    }
    const std::string csv = longFile().dir + "/levels.csv";
    lumetra::AnalyzeTiming sum;
    for (auto _ : state) {
        lumetra::AnalyzeTiming t;
        std::vector<std::string> args = {"--csv", csv, "--quiet", "--no-live", input};
        args.insert(args.begin(), more.begin(), more.end());
        const int status = lumetra::analyze(args, &t);
        if (status != 0) {
            state.SkipWithError("analyze failed");
            break;
        }
        sum.totalSec += t.totalSec;
        sum.readSec += t.readSec;
        sum.engineSec += t.engineSec;
        sum.writeSec += t.writeSec;
        sum.audioSec += t.audioSec;
    }
    state.counters["realtime_factor"] = sum.totalSec > 0 ? sum.audioSec / sum.totalSec : 0.0;
    state.counters["outside_engine_pct"] = sum.totalSec > 0 ? 100.0 * (sum.totalSec - sum.engineSec) / sum.totalSec : 0;
    state.counters["read_pct"] = sum.totalSec > 0 ? 100.0 * sum.readSec / sum.totalSec : 0;
    state.counters["write_pct"] = sum.totalSec > 0 ? 100.0 * sum.writeSec / sum.totalSec : 0;
    state.counters["csv_MB"] = double(std::filesystem::file_size(csv)) / 1e6;
    // The bank's share: stereo frames, one analysis signal each.
    state.counters["engine_ns_per_sample"] = sum.audioSec > 0 ? 1e9 * sum.engineSec / (sum.audioSec * kRateHz) : 0;
}

// The banks alone, as analyze runs them (512-frame blocks of the built-in signal, stereo, mode
// M), in CPU time per sample of audio: the plug-in's bank, then the standard bank plain and with
// A weighting and the F time weighting.
template <typename Analyzer>
void bank(benchmark::State& state, std::vector<std::string> args) {
    const lumetra::AnalyzeOptions options = lumetra::parseAnalyzeOptions(args);
    constexpr int kBlock = 512, kSeconds = 10;
    lumetra::TestSignal signal;
    std::vector<float> left(size_t(kRateHz) * kSeconds), right(left.size());
    signal.generate(left.data(), right.data(), int64_t(left.size()));
    Analyzer analyzer(double(kRateHz), options);
    for (auto _ : state)
        for (size_t done = 0; done + kBlock <= left.size(); done += kBlock)
            analyzer.process(left.data() + done, right.data() + done, kBlock);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(left.size()));
    state.counters["ns_per_sample"] = benchmark::Counter(double(state.iterations()) * double(left.size()),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void pluginBank(benchmark::State& state, std::vector<std::string> args) { bank<lumetra::BandAnalyzer>(state, args); }
void standardBank(benchmark::State& state, std::vector<std::string> args) { bank<lumetra::LevelAnalyzer>(state, args); }

}  // namespace

BENCHMARK_CAPTURE(pluginBank, plugin, std::vector<std::string>{})->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(standardBank, z_leq, std::vector<std::string>{"--filters", "standard", "--time", "leq"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(standardBank, a_fast, std::vector<std::string>{"--filters", "standard", "--weighting", "A"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(analyzeCsv, plugin_bank, std::vector<std::string>{})->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);
BENCHMARK_CAPTURE(analyzeCsv, standard_bank, std::vector<std::string>{"--filters", "standard", "--weighting", "A"})
    ->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

BENCHMARK_MAIN();
