// The `lumetra analyze` command as users run it: numbers against the engine, outputs, bad input.
#include <cairo.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/AnalyzerEngine.h"
#include "plugin/ADelay.h"
#include "tests/tools/AudioFiles.h"
#include "tests/tools/ToolRun.h"
#include "tools/AnalyzeBands.h"
#include "tools/BandAnalyzer.h"
#include "tools/AnalyzeOptions.h"

namespace lumetra {
namespace {

using test::jsonBand;
using test::splitFields;
using test::splitLines;
using test::TempDir;

constexpr int kWavFloat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

test::ToolRun analyzeTool(std::vector<std::string> args, const std::string& dir) {
    args.insert(args.begin(), "analyze");
    return test::runTool(args, dir);
}

struct Csv {
    std::vector<std::string> header;
    std::vector<std::vector<float>> rows;  // time_s, then 32 bands
};

Csv readCsv(const std::string& path) {
    Csv csv;
    const std::vector<std::string> lines = splitLines(test::readFile(path));
    if (lines.empty()) return csv;
    csv.header = splitFields(lines[0]);
    for (size_t i = 1; i < lines.size(); ++i) {
        std::vector<float> row;
        for (const std::string& field : splitFields(lines[i])) row.push_back(std::strtof(field.c_str(), nullptr));
        csv.rows.push_back(row);
    }
    return csv;
}

TEST(AnalyzeTool, SineLandsInItsBandAtTheLevelTheBallisticsPredict) {
    TempDir dir;
    constexpr double kRate = 48000, kAmplitude = 0.1;  // -20 dBFS
    test::writeAudio(dir.path("sine.wav"), kWavFloat, int(kRate), 1, test::sine(1000.0, kAmplitude, kRate, 3 * 48000));
    const auto run = analyzeTool({"--mode", "L", "--csv", dir.path("c.csv"), "--json", dir.path("j.json"),
                              dir.path("sine.wav")}, dir.path(""));
    ASSERT_EQ(run.status, 0) << run.err;

    // The engine's own attack for the 1 kHz band: the level climbs towards the sine's RMS by this
    // coefficient once per 128 samples.
    AnalyzerEngine engine;
    engine.prepare(float(kRate), 512);
    engine.setResp(0.0f);
    const double coef = engine.detector(18).attackBlockCoef();
    const double rms = kAmplitude / std::sqrt(2.0);

    const Csv csv = readCsv(dir.path("c.csv"));
    ASSERT_EQ(csv.rows.size(), 3u * 48000 / 512 + 1);
    int checked = 0;
    for (const auto& row : csv.rows) {
        if (row[0] < 0.25) continue;  // past the filters' own settling
        const double blocks = std::round(row[0] * kRate) / 128.0;
        const double predicted = 20 * std::log10(rms * (1 - std::pow(1 - coef, blocks)));
        ASSERT_NEAR(row[1 + 18], predicted, 0.1) << "at " << row[0] << " s";
        ++checked;
    }
    EXPECT_GT(checked, 200);

    const std::string json = test::readFile(dir.path("j.json"));
    const float peak = jsonBand(json, 18, "max_db");
    EXPECT_NEAR(peak, 20 * std::log10(rms), 0.1);
    for (int j = 0; j < kNumBands; ++j) {
        if (j == 18) continue;
        SCOPED_TRACE(j);
        // A third of an octave away the four sections take 13.6 dB, two thirds 31 dB.
        EXPECT_LT(jsonBand(json, j, "max_db"), peak - (std::abs(j - 18) == 1 ? 10 : 25));
    }
}

TEST(AnalyzeTool, PinkNoiseReadsFlatAcrossTheMidBands) {
    TempDir dir;
    test::writeAudio(dir.path("pink.wav"), kWavFloat, 48000, 1, test::pinkNoise(0.1, 10 * 48000, 7));
    const auto run = analyzeTool({"--mode", "L", "--json", dir.path("j.json"), dir.path("pink.wav")}, dir.path(""));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string json = test::readFile(dir.path("j.json"));
    float low = 1000, high = -1000;
    for (int j = 8; j <= 27; ++j) {  // 100 Hz to 8 kHz
        low = std::min(low, jsonBand(json, j, "avg_db"));
        high = std::max(high, jsonBand(json, j, "avg_db"));
    }
    EXPECT_LT(high - low, 4.0f) << low << " to " << high;
    EXPECT_GT(low, -45.0f);  // and well above the floor
}

TEST(AnalyzeTool, SilenceStaysAtTheEngineFloor) {
    TempDir dir;
    test::writeAudio(dir.path("silence.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                     std::vector<float>(2 * 44100, 0.0f));
    const auto run = analyzeTool({"--csv", dir.path("c.csv"), "--json", dir.path("j.json"), dir.path("silence.wav")},
                             dir.path(""));
    ASSERT_EQ(run.status, 0) << run.err;
    for (const auto& row : readCsv(dir.path("c.csv")).rows)
        for (int j = 0; j < kNumBands; ++j) ASSERT_EQ(row[size_t(1 + j)], -400.0f);
    const std::string json = test::readFile(dir.path("j.json"));
    for (int j = 0; j < kNumBands; ++j) {
        EXPECT_EQ(jsonBand(json, j, "max_db"), -400.0f);
        EXPECT_EQ(jsonBand(json, j, "avg_db"), -400.0f);
    }
}

TEST(AnalyzeTool, BandsAboveHalfTheSampleRateAreLeftEmpty) {
    TempDir dir;
    test::writeAudio(dir.path("phone.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, test::sine(1000.0, 0.25, 8000, 16000));
    const auto run = analyzeTool({"--csv", dir.path("c.csv"), "--json", dir.path("j.json"), dir.path("phone.wav")},
                                 dir.path(""));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string json = test::readFile(dir.path("j.json"));
    const std::string csv = test::readFile(dir.path("c.csv"));
    for (const std::string& text : {json, csv, run.out}) {
        EXPECT_EQ(text.find("nan"), std::string::npos);
        EXPECT_EQ(text.find("inf"), std::string::npos);
    }
    EXPECT_NEAR(jsonBand(json, 18, "max_db"), 20 * std::log10(0.25 / std::sqrt(2.0)) + 6.02, 0.2);  // M: L + R
    EXPECT_FALSE(std::isnan(jsonBand(json, 24, "max_db")));                                         // 3981 Hz
    for (int j = 25; j < kNumBands; ++j) EXPECT_TRUE(std::isnan(jsonBand(json, j, "max_db"))) << j;  // null
    size_t aboveNyquist = 0;  // the file's path is in the JSON too: count whole words
    for (size_t at = json.find("above_nyquist"); at != std::string::npos; at = json.find("above_nyquist", at + 1))
        ++aboveNyquist;
    EXPECT_EQ(aboveNyquist, 7u);
    const std::vector<std::string> rows = splitLines(csv);
    ASSERT_GT(rows.size(), 2u);
    EXPECT_EQ(rows[1].substr(rows[1].size() - 7), ",,,,,,,");
}

TEST(AnalyzeTool, CsvAndJsonCarryTheEngineValues) {
    TempDir dir;
    constexpr int kRate = 44100, kFrames = 44100 * 2, kBlock = 300;
    const std::vector<float> left = test::pinkNoise(0.2, kFrames, 3);
    const std::vector<float> right = test::sine(250.0, 0.3, kRate, kFrames);
    std::vector<float> stereo;
    for (int k = 0; k < kFrames; ++k) {
        stereo.push_back(left[size_t(k)]);
        stereo.push_back(right[size_t(k)]);
    }
    test::writeAudio(dir.path("mix.wav"), kWavFloat, kRate, 2, stereo);
    const std::vector<std::string> controls = {"--mode", "M", "--resp", "2", "--delay", "50", "--gain", "6",
                                               "--block", "300"};
    std::vector<std::string> args = controls;
    args.insert(args.end(), {"--csv", dir.path("c.csv"), "--json", dir.path("j.json"), dir.path("mix.wav")});
    const auto run = analyzeTool(args, dir.path(""));
    ASSERT_EQ(run.status, 0) << run.err;

    // The same audio, blocks and parameter values straight into the effect.
    ADelay effect(nullptr);
    effect.setSampleRate(float(kRate));
    effect.resume();
    effect.setParameter(kDelay, 50.0f / 300.0f);
    effect.setParameter(kVolume, 26.0f / 40.0f);
    effect.setParameter(kMode, 0.5f);
    effect.setParameter(kResp, 0.5f);
    const AnalyzerEngine& engine = effect.engine;
    std::vector<float> l(left), r(right), outL(kBlock), outR(kBlock);

    const Csv csv = readCsv(dir.path("c.csv"));
    ASSERT_EQ(csv.header.size(), 33u);
    EXPECT_EQ(csv.header[0], "time_s");
    EXPECT_EQ(csv.header[1 + 3], "31.5");
    EXPECT_EQ(csv.header[1 + 31], "20000");
    ASSERT_EQ(csv.rows.size(), size_t((kFrames + kBlock - 1) / kBlock));
    std::array<float, kNumBands> maxDb;
    maxDb.fill(-1000);
    int done = 0;
    for (const auto& row : csv.rows) {
        const int n = std::min(kBlock, kFrames - done);
        float* inputs[2] = {l.data() + done, r.data() + done};
        float* outputs[2] = {outL.data(), outR.data()};
        effect.processReplacing(inputs, outputs, n);
        done += n;
        ASSERT_NEAR(row[0], double(done) / kRate, 1e-6);
        for (int j = 0; j < kNumBands; ++j) {
            const float db = levelToDb(engine.level(j));
            ASSERT_EQ(row[size_t(1 + j)], db) << "band " << j << " at " << row[0] << " s";  // exact
            maxDb[size_t(j)] = std::max(maxDb[size_t(j)], db);
        }
    }
    const std::string json = test::readFile(dir.path("j.json"));
    EXPECT_NE(json.find("\"mode\": \"M\", \"resp\": 2, \"delay_ms\": 50, \"gain_db\": 6, \"block\": 300"),
              std::string::npos);
    for (int j = 0; j < kNumBands; ++j) {
        SCOPED_TRACE(j);
        EXPECT_EQ(jsonBand(json, j, "centre_hz"), engine.centreHz(j));
        EXPECT_EQ(jsonBand(json, j, "max_db"), maxDb[size_t(j)]);
        EXPECT_EQ(jsonBand(json, j, "final_db"), levelToDb(engine.level(j)));
        EXPECT_LE(jsonBand(json, j, "avg_db"), maxDb[size_t(j)]);
    }
}

TEST(BandAnalyzer, DecodesTheMeterValuesTheEditorWouldShow) {
    const AnalyzeOptions options = parseAnalyzeOptions({"--gain", "-7.5"});
    BandAnalyzer analyzer(48000, options);
    std::vector<float> left = test::pinkNoise(0.3, 4800, 11), right = test::sine(2000, 0.9, 48000, 4800);
    analyzer.process(left.data(), right.data(), 4800);
    const float t = options.volumeValue() * 40.0f, top = 40.0f - t, bottom = -20.0f - t;
    int between = 0;
    for (int j = 0; j < kNumBands; ++j) {
        SCOPED_TRACE(j);
        const float d = analyzer.levelDb(j);
        const float f = d <= bottom ? 0.0f : d >= top ? 1.0f : (d - bottom) / (top - bottom);
        const float packed = f * 0.5f + float(j);
        EXPECT_EQ(analyzer.meterFraction(j), (packed - float(j)) * 2.0f);
        between += f > 0.0f && f < 1.0f;
    }
    EXPECT_GT(between, 20);  // the comparison saw real fractions, not only the clamps
}

TEST(AnalyzeTool, ReadsEveryContainer) {
    TempDir dir;
    const std::vector<float> tone = test::interleave(test::sine(1000.0, 0.1, 48000, 48000), 2);
    std::vector<std::string> args = {"--mode", "L", "--json", dir.path("j.json")};
    for (const auto& [name, format] : std::vector<std::pair<std::string, int>>{
             {"a.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
             {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
             {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
             {"a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS}}) {
        test::writeAudio(dir.path(name), format, 48000, 2, tone);
        args.push_back(dir.path(name));
    }
    const auto run = analyzeTool(args, dir.path(""));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(splitLines(run.out).size(), 4u);  // one summary line per file
    const std::string json = test::readFile(dir.path("j.json"));
    size_t entry = 0;
    for (int i = 0; i < 4; ++i) {
        entry = json.find("{\"file\": ", entry + 1);
        ASSERT_NE(entry, std::string::npos);
        EXPECT_NEAR(jsonBand(json, 18, "max_db", entry), -23.01, 0.2) << json.substr(entry, 80);
    }
}

TEST(AnalyzeTool, BadInputsAreNamedWithTheReasonAndTheBatchGoesOn) {
    TempDir dir;
    test::writeAudio(dir.path("good.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 2,
                     test::interleave(test::sine(1000.0, 0.1, 48000, 24000), 2));
    test::writeBytes(dir.path("empty.wav"), "");
    test::writeBytes(dir.path("garbage.flac"), std::string(3000, '\x5a'));
    test::writeBytes(dir.path("truncated.wav"), test::readFile(dir.path("good.wav")).substr(0, 30));
    test::writeWavByHand(dir.path("rate0.wav"), 0, 2, 16, 4000, 4000);
    test::writeWavByHand(dir.path("rate1M.wav"), 1000000, 2, 16, 4000, 4000);
    test::writeWavByHand(dir.path("noframes.wav"), 48000, 2, 16, 0, 0);
    const std::vector<std::string> bad = {"missing.wav", "empty.wav",  "garbage.flac", "truncated.wav",
                                          "rate0.wav",   "rate1M.wav", "noframes.wav"};
    std::vector<std::string> args = {"--json", dir.path("j.json"), dir.path("good.wav")};
    for (const std::string& name : bad) args.push_back(dir.path(name));
    args.push_back(dir.path("good.wav"));
    const auto run = analyzeTool(args, dir.path(""));
    EXPECT_EQ(run.status, 2);
    const std::vector<std::string> errors = splitLines(run.err);
    ASSERT_EQ(errors.size(), bad.size()) << run.err;
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_EQ(errors[i].rfind("lumetra analyze: " + dir.path(bad[i]) + ": ", 0), 0u) << errors[i];
        EXPECT_GT(errors[i].size(), dir.path(bad[i]).size() + 22) << "no reason: " << errors[i];
    }
    EXPECT_NE(errors[0].find("No such file or directory"), std::string::npos);
    EXPECT_NE(errors[1].find("empty file"), std::string::npos);
    EXPECT_NE(errors[4].find("sample rate 0 Hz is out of range"), std::string::npos);
    EXPECT_NE(errors[5].find("sample rate 1000000 Hz is out of range"), std::string::npos);
    EXPECT_NE(errors[6].find("no audio frames"), std::string::npos);
    EXPECT_EQ(splitLines(run.out).size(), 2u);  // both good files analysed, one line each
    const std::string json = test::readFile(dir.path("j.json"));
    EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 2 + 2 * 34 + long(bad.size()));
    EXPECT_NE(json.find("\"error\": \"empty file (0 bytes)\""), std::string::npos);

    // Samples that are not numbers: an analysis error, exit 1.
    std::vector<float> poisoned(4000, 0.1f);
    poisoned[3001] = std::numeric_limits<float>::infinity();
    test::writeAudio(dir.path("inf.wav"), kWavFloat, 48000, 1, poisoned);
    const auto nan = analyzeTool({dir.path("inf.wav")}, dir.path(""));
    EXPECT_EQ(nan.status, 1);
    EXPECT_EQ(nan.err, "lumetra analyze: " + dir.path("inf.wav") +
                           ": sample 3001 is not a finite number (NaN or infinity)\n");
}

TEST(AnalyzeTool, BadCommandLinesAndOutputsStopBeforeAnyWork) {
    TempDir dir;
    test::writeAudio(dir.path("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 1, test::sine(100, 0.5, 48000, 4800));
    const std::string original = test::readFile(dir.path("in.wav"));
    const std::vector<std::vector<std::string>> cases = {
        {"--delay", "301", dir.path("in.wav")},
        {"--gain", "-25", dir.path("in.wav")},
        {"--mode", "S", dir.path("in.wav")},
        {"--resp", "4"},
        {"--block", "0"},
        {"--bogus"},
        {"--csv", dir.path("no/such/folder/c.csv"), dir.path("in.wav")},
        {"--csv", dir.path("in.wav"), dir.path("in.wav")},  // would destroy its own input
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.front());
        const auto run = analyzeTool(args, dir.path(""));
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(splitLines(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("lumetra analyze: ", 0), 0u) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(test::readFile(dir.path("in.wav")), original);
}

TEST(AnalyzeTool, DefaultRunSummarisesTheTestSignalAndDrawsTheChart) {
    TempDir dir;
    const auto run = analyzeTool({"--png", dir.path("chart.png")}, dir.path(""));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");  // no progress bar and no display codes off a terminal
    const std::vector<std::string> lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 2u + kNumBands) << run.out;
    EXPECT_EQ(lines[0].rfind("built-in test signal: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("48000 Hz, 2 channels, 10.000 s"), std::string::npos) << lines[0];
    // The tones stand out of the noise in their bands.
    auto maxDb = [&](int band) {
        int index = -1;
        char nominal[16];
        double centre = 0, max = 0, avg = 0;
        EXPECT_EQ(std::sscanf(lines[size_t(2 + band)].c_str(), "%d %15s %lf %lf %lf", &index, nominal, &centre, &max,
                              &avg), 5);
        return max;
    };
    for (int band : {6, 18, 27}) {
        SCOPED_TRACE(band);
        EXPECT_GT(maxDb(band), maxDb(band - 2) + 3);
        EXPECT_GT(maxDb(band), maxDb(band + 2) + 3);
    }
    cairo_surface_t* png = cairo_image_surface_create_from_png(dir.path("chart.png").c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), 1200);
    EXPECT_EQ(cairo_image_surface_get_height(png), 500);
    cairo_surface_destroy(png);

    const auto toStdout = analyzeTool({"--json", "-"}, dir.path(""));  // JSON alone on stdout
    EXPECT_EQ(toStdout.status, 0);
    EXPECT_EQ(toStdout.out.rfind("[\n {\"file\": \"built-in test signal\"", 0), 0u) << toStdout.out.substr(0, 80);
}

TEST(AnalyzeTool, HelpDocumentsEveryOption) {
    TempDir dir;
    const auto help = analyzeTool({"--help"}, dir.path(""));
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--mode", "--resp", "--delay", "--gain", "--block", "--csv", "--json", "--png",
                               "--realtime", "--no-live", "--quiet", "--timing", "Exit status", "--filters", "--time",
                               "--weighting", "--calibrate", "--calibrator-level", "--offset", "--reference"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const auto conformance = test::runTool({"conformance", "--help"}, dir.path(""));
    EXPECT_EQ(conformance.status, 0);
    for (const char* option : {"--filters", "--rate", "--png", "class 1"})
        EXPECT_NE(conformance.out.find(option), std::string::npos) << option;
    const auto top = test::runTool({"--help"}, dir.path(""));
    EXPECT_EQ(top.status, 0);
    EXPECT_NE(top.out.find("analyze"), std::string::npos);
    EXPECT_NE(top.out.find("conformance"), std::string::npos);
}

}  // namespace
}  // namespace lumetra
