// `lumetra listen` against a real JACK server (a private jackd on the dummy driver): what it
// measures of known signals played into it, and how it ends when things go wrong.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "tests/tools/AudioFiles.h"
#include "tests/tools/JackSession.h"
#include "tests/tools/ToolRun.h"

namespace lumetra::test {
namespace {

constexpr int kRate = 48000;
const std::vector<std::string> kFromPlayer = {"--connect", "player:out_1", "--connect", "player:out_2"};

std::vector<std::string> listenArgs(std::vector<std::string> more) {
    more.insert(more.begin(), kFromPlayer.begin(), kFromPlayer.end());
    return more;
}

// `lumetra analyze --json` of the signal in a stereo float file, repeated to 2 s.
std::string analyzeLooped(const std::vector<float>& loop, const TempDir& dir, const std::string& name) {
    std::vector<float> twoSeconds;
    while (twoSeconds.size() < size_t(2 * kRate)) twoSeconds.insert(twoSeconds.end(), loop.begin(), loop.end());
    writeAudio(dir.path(name + ".wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, kRate, 2, interleave(twoSeconds, 2));
    const ToolRun run = runTool({"analyze", "--quiet", "--json", dir.path(name + ".json"), dir.path(name + ".wav")},
                                dir.path(""));
    EXPECT_EQ(run.status, 0) << run.err;
    return readFile(dir.path(name + ".json"));
}

// Waits for the stream to have more than `count` lines; the newest one.
std::string lineAfter(const std::string& path, size_t count) {
    std::vector<std::string> lines;
    EXPECT_TRUE(waitUntil([&] { return (lines = completeLines(path)).size() > count; }, 10)) << "no line " << count;
    return lines.size() > count ? lines[count] : std::string();
}

TEST(Listen, SineThenPinkNoiseReadAsAnalyzeReadsThemInAFile) {
    TempDir dir;
    // Loops that join without a seam: whole periods of the sine, 0.5 s of noise (one interval).
    const std::vector<float> sineLoop = sine(1000.0, 0.1, kRate, 4800);  // -20 dBFS
    const std::vector<float> pinkLoop = pinkNoise(0.1, kRate / 2, 7);
    const std::string sineFile = analyzeLooped(sineLoop, dir, "sine");
    const std::string pinkFile = analyzeLooped(pinkLoop, dir, "pink");

    JackServer server(kRate, 256);
    ASSERT_TRUE(server.ok());
    JackPlayer player(server.name(), {sineLoop, pinkLoop});
    ASSERT_TRUE(player.ok());
    const std::string json = dir.path("live.json");
    ListenProcess listen(server.name(), listenArgs({"--json", json, "--every", "0.5", "--no-live"}), dir.path(""));

    // The third interval is steady; after a change of period, the one after the first whole
    // interval at the new period.
    const float expected = jsonBand(sineFile, 18, "final_db");  // steady: its ripple is 0.01 dB
    std::string line = lineAfter(json, 2);
    for (const int period : {256, 64}) {
        SCOPED_TRACE(period);
        if (period != 256) {
            ASSERT_TRUE(player.setPeriod(period));
            size_t at = 0;
            ASSERT_TRUE(waitUntil([&] {
                const auto lines = completeLines(json);
                for (at = 0; at < lines.size(); ++at)
                    if (lines[at].find("\"period\": " + std::to_string(period) + ",") != std::string::npos) return true;
                return false;
            }, 10));
            line = lineAfter(json, at + 1);
        }
        EXPECT_NE(line.find("\"period\": " + std::to_string(period) + ","), std::string::npos) << line;
        const float peak = jsonBand(line, 18, "avg_db");
        EXPECT_NEAR(peak, expected, 0.2) << line;
        for (int j = 0; j < 32; ++j)
            EXPECT_TRUE(j == 18 || jsonBand(line, j, "max_db") < peak - (std::abs(j - 18) == 1 ? 10 : 25)) << "band " << j;
    }

    player.play(1);
    const size_t seen = completeLines(json).size();
    line = lineAfter(json, seen + 2);  // a whole interval of noise, its smoothing settled
    for (int j = 8; j < 32; ++j)
        EXPECT_NEAR(jsonBand(line, j, "avg_db"), jsonBand(pinkFile, j, "avg_db"), 1.0) << "band " << j;

    listen.signal(SIGINT);
    EXPECT_EQ(listen.wait(5), 0) << listen.err();
}

TEST(Listen, StandardBankStreamsLeqAndEndsWithTheRunsStatistics) {
    TempDir dir;
    const std::vector<float> sineLoop = sine(1000.0, 0.1, kRate, 4800);  // -20 dBFS: -23.01 dB RMS, L alone
    JackServer server(kRate, 256);
    ASSERT_TRUE(server.ok());
    JackPlayer player(server.name(), {sineLoop});
    ASSERT_TRUE(player.ok());
    const std::string json = dir.path("live.json"), csv = dir.path("live.csv");
    ListenProcess listen(server.name(),
                         listenArgs({"--filters", "standard", "--mode", "L", "--time", "leq", "--offset", "100",
                                     "--json", json, "--csv", csv, "--every", "0.5", "--for", "3", "--no-live"}),
                         dir.path(""));
    EXPECT_EQ(listen.wait(10), 0) << listen.err();
    const std::vector<std::string> lines = completeLines(json);
    ASSERT_GE(lines.size(), 4u);
    const std::string steady = lines[2];  // the player joins at once; the third interval is whole
    EXPECT_NEAR(jsonBand(steady, 18, "leq_db"), 100 - 23.01, 0.05) << steady;
    EXPECT_NE(steady.find("\"total\": {\"leq_db\": 76.9"), std::string::npos) << steady;
    EXPECT_NE(steady.find("\"unit\": \"dB SPL re 20 uPa\""), std::string::npos);
    const std::string summary = lines.back();
    ASSERT_NE(summary.find("\"summary\": true"), std::string::npos) << summary;
    EXPECT_NEAR(jsonBand(summary, 18, "l50_db"), 100 - 23.01, 0.05) << summary;
    EXPECT_NE(readFile(csv).find(",1000 Hz LZeq dB SPL,"), std::string::npos);
}

TEST(Listen, WithoutAServerItSaysSoAtOnce) {
    TempDir dir;
    const auto started = std::chrono::steady_clock::now();
    ListenProcess listen("lumetra-test-no-such-server", {"--no-live"}, dir.path(""));
    EXPECT_EQ(listen.wait(1.0), 2);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
    const std::string err = listen.err();
    EXPECT_NE(err.find("no JACK server is running"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(Listen, EndsWithCode1WhenTheServerDies) {
    TempDir dir;
    JackServer server(kRate, 256);
    ASSERT_TRUE(server.ok());
    JackPlayer player(server.name(), {std::vector<float>(64, 0.0f)});
    ASSERT_TRUE(player.ok());
    ListenProcess listen(server.name(), listenArgs({"--json", dir.path("live.json"), "--no-live"}), dir.path(""));
    ASSERT_TRUE(waitUntil([&] { return player.connected("player:out_2"); }, 10));
    server.killNow();
    EXPECT_EQ(listen.wait(5), 1);
    EXPECT_NE(listen.err().find("the JACK server went away"), std::string::npos) << listen.err();
}

TEST(Listen, RefusesPortsItCannotFindAndRatesTheEngineDoesNotTake) {
    TempDir dir;
    struct Case {
        int rateHz;
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {kRate, {"--connect", "player:out_3"}, "--connect 'player:out_3': no such output port (there are "},
        {kRate, {"--connect", "player:out_1", "--connect", "player:.*x"}, "no such output port"},
        {kRate, {"--connect", "player:(out"}, "not a regular expression"},
        {800000, {}, "800000 Hz; the analyzer takes 1000 to 768000 Hz"},
        {500, {}, "500 Hz; the analyzer takes 1000 to 768000 Hz"},
    };
    std::unique_ptr<JackServer> server;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        // A short period at a low rate: clients join at the server's next cycle.
        if (!server || c.rateHz != kRate) server = std::make_unique<JackServer>(c.rateHz, c.rateHz < kRate ? 32 : 4096);
        ASSERT_TRUE(server->ok());
        JackPlayer player(server->name(), {std::vector<float>(64, 0.0f)});
        ListenProcess listen(server->name(), c.args, dir.path(""));
        EXPECT_EQ(listen.wait(5), 2);
        EXPECT_NE(listen.err().find(c.says), std::string::npos) << listen.err();
        EXPECT_FALSE(player.connected("player:out_1"));
    }
}

}  // namespace
}  // namespace lumetra::test
