#include <gtest/gtest.h>

#include "tools/AnalyzeOptions.h"

namespace lumetra {
namespace {

AnalyzeOptions parse(std::vector<std::string> args) { return parseAnalyzeOptions(args); }

TEST(AnalyzeOptions, ControlsMapOntoThePluginParameterValues) {
    const AnalyzeOptions defaults = parse({});
    EXPECT_EQ(defaults.modeValue(), 0.5f);  // the plug-in's program defaults: M, resp 1, 0 ms, 0 dB
    EXPECT_EQ(defaults.respValue(), 0.0f);
    EXPECT_EQ(defaults.delayValue(), 0.0f);
    EXPECT_EQ(defaults.volumeValue(), 0.5f);
    EXPECT_EQ(defaults.blockFrames, 512);

    EXPECT_EQ(parse({"--mode", "L"}).modeValue(), 0.0f);
    EXPECT_EQ(parse({"--mode", "r"}).modeValue(), 1.0f);
    EXPECT_EQ(parse({"--resp", "2"}).respValue(), 0.5f);
    EXPECT_EQ(parse({"--resp=3"}).respValue(), 1.0f);
    EXPECT_EQ(parse({"--delay", "300"}).delayValue(), 1.0f);
    EXPECT_EQ(parse({"--delay", "150"}).delayValue(), 0.5f);
    EXPECT_EQ(parse({"--gain", "-20"}).volumeValue(), 0.0f);
    EXPECT_EQ(parse({"--gain", "+20"}).volumeValue(), 1.0f);
    EXPECT_EQ(parse({"--gain=-10"}).volumeValue(), 0.25f);
    EXPECT_EQ(parse({"--block", "65536"}).blockFrames, 65536);
}

TEST(AnalyzeOptions, FilesAndOutputsAreKeptInOrder) {
    const AnalyzeOptions o = parse({"a.wav", "--csv", "out.csv", "b.flac", "--", "--odd-name.wav", "-x"});
    EXPECT_EQ(o.files, (std::vector<std::string>{"a.wav", "b.flac", "--odd-name.wav", "-x"}));
    EXPECT_EQ(o.csvPath, "out.csv");
    EXPECT_TRUE(parse({"--json", "-"}).writesToStdout());
    EXPECT_FALSE(parse({"--json", "x.json"}).writesToStdout());
}

TEST(AnalyzeOptions, BadValuesAreRejectedWithTheReason) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"--delay", "300.5"}, "--delay: 300.5 is out of range (0 to 300)"},
        {{"--delay", "-1"}, "--delay: -1 is out of range"},
        {{"--gain", "21"}, "--gain: 21 is out of range (-20 to 20)"},
        {{"--gain", "nan"}, "--gain: 'nan' is not a number"},
        {{"--gain", "inf"}, "is not a number"},
        {{"--delay", "12ms"}, "--delay: '12ms' is not a number"},
        {{"--delay", ""}, "is not a number"},
        {{"--block", "0"}, "--block: 0 is out of range (1 to 65536)"},
        {{"--block", "65537"}, "out of range"},
        {{"--block", "2.5"}, "--block: '2.5' is not a whole number"},
        {{"--mode", "X"}, "--mode: 'X' is not one of L, M, R"},
        {{"--resp", "0"}, "--resp: '0' is not one of 1, 2, 3"},
        {{"--resp"}, "--resp: missing value"},
        {{"--csv", ""}, "--csv: empty path"},
        {{"--frobnicate"}, "unknown option '--frobnicate'"},
        {{"--realtime=1"}, "--realtime: takes no value"},
        {{"--csv", "-", "--json", "-"}, "only one of --csv, --json, --png can write to standard output"},
        {{"-"}, "standard input is not supported"},
        {{"--filters", "iec"}, "--filters: 'iec' is not one of plugin, standard"},
        {{"--filters", "standard", "--time", "medium"}, "--time: 'medium' is not one of fast, slow, leq"},
        {{"--filters", "standard", "--weighting", "B"}, "--weighting: 'B' is not one of A, C, Z"},
        {{"--weighting", "A"}, "--weighting: needs --filters standard"},
        {{"--time", "slow"}, "--time: needs --filters standard"},
        {{"--offset", "100"}, "--offset: needs --filters standard"},
        {{"--filters", "standard", "--offset", "90", "--calibrate", "c.wav"}, "give one of them"},
        {{"--filters", "standard", "--calibrator-level", "114"}, "--calibrator-level: only with --calibrate"},
        {{"--filters", "standard", "--calibrate", "c.wav", "--calibrator-level", "200"}, "out of range (20 to 160)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        try {
            parse(c.args);
            ADD_FAILURE() << "accepted";
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace lumetra
