// The bank's fixed numbers: centres, response times, analysis delay, meter values.
#include "engine/BandBank.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "engine/MeterValue.h"
#include "engine/ResponseMode.h"

namespace {

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(BandBank, CentreFrequenciesAreTheThirdOctaves) {
    const float table[32] = {15.85f,   19.95f,   25.12f,   31.62f,   39.81f,   50.12f,   63.10f,   79.43f,
                             100.00f,  125.89f,  158.49f,  199.53f,  251.19f,  316.23f,  398.11f,  501.19f,
                             630.96f,  794.33f,  1000.00f, 1258.93f, 1584.89f, 1995.26f, 2511.89f, 3162.28f,
                             3981.07f, 5011.87f, 6309.57f, 7943.28f, 10000.00f, 12589.25f, 15848.94f, 19952.63f};
    for (int j = 0; j < 32; ++j) {
        SCOPED_TRACE(j);
        EXPECT_NEAR(lumetra::bandCentreHz(j), table[j], 0.006f);
    }
}

TEST(BandBank, DelaySamplesStayWithinThreeTenthsOfASecond) {
    EXPECT_EQ(lumetra::delaySamplesFor(1.0f, 44100.0f, 44100.0f), 13230);
    EXPECT_EQ(lumetra::delaySamplesFor(0.5f, 44100.0f, 44100.0f), 6615);
    EXPECT_EQ(lumetra::delaySamplesFor(1.0f, 48000.0f, 44100.0f), 14400);
    EXPECT_EQ(lumetra::delaySamplesFor(0.1f, 44100.0f, 44100.0f), 1323);
    EXPECT_EQ(lumetra::delaySamplesFor(0.0f, 44100.0f, 44100.0f), 0);

    EXPECT_EQ(lumetra::delaySamplesFor(kNan, 44100.0f, 44100.0f), 0);
    EXPECT_EQ(lumetra::delaySamplesFor(-kInf, 44100.0f, 44100.0f), 0);
    EXPECT_EQ(lumetra::delaySamplesFor(-0.5f, 44100.0f, 44100.0f), 0);
    EXPECT_EQ(lumetra::delaySamplesFor(kInf, 44100.0f, 44100.0f), 13230);
    EXPECT_EQ(lumetra::delaySamplesFor(7.0f, 44100.0f, 44100.0f), 13230);
    // A rate no bank can be built for gives the delay at the bank's rate.
    for (float rate : {0.0f, -48000.0f, kNan, kInf, 1e12f}) {
        SCOPED_TRACE(rate);
        EXPECT_EQ(lumetra::delaySamplesFor(1.0f, rate, 48000.0f), 14400);
    }
}

TEST(BandBank, UsableSampleRates) {
    for (float rate : {8000.0f, 44100.0f, 44100.7f, 96000.0f, 768000.0f}) EXPECT_TRUE(lumetra::isUsableSampleRate(rate));
    for (float rate : {0.0f, -44100.0f, kNan, kInf, -kInf, 1e9f}) EXPECT_FALSE(lumetra::isUsableSampleRate(rate));
}

TEST(ResponseMode, TimesFollowTheTable) {
    struct Row {
        int band;
        float times[3][2];
    };
    const Row rows[] = {
        {0, {{0.2520f, 1.4000f}, {0.3430f, 1.8200f}, {1.4000f, 4.2000f}}},
        {3, {{0.2073f, 1.0337f}, {0.3430f, 1.4336f}, {1.4000f, 3.6976f}}},
        {6, {{0.1665f, 0.7348f}, {0.3430f, 1.0960f}, {1.4000f, 3.2037f}}},
        {8, {{0.1528f, 0.6434f}, {0.3430f, 0.9873f}, {1.4000f, 3.0300f}}},
        {12, {{0.1528f, 0.4965f}, {0.3430f, 0.8053f}, {1.4000f, 2.7176f}}},
        {18, {{0.1528f, 0.3124f}, {0.3430f, 0.5592f}, {1.4000f, 2.2369f}}},
        {31, {{0.1528f, 0.3124f}, {0.3430f, 0.5592f}, {1.4000f, 2.2369f}}},
    };
    const float respForMode[3][2] = {{0.0f, 0.2999f}, {0.3f, 0.6999f}, {0.7f, 1.0f}};
    for (const Row& row : rows)
        for (int mode = 0; mode < 3; ++mode)
            for (float resp : respForMode[mode]) {
                SCOPED_TRACE(testing::Message() << "band " << row.band << ", Resp " << resp);
                const lumetra::ResponseTimes t = lumetra::responseTimes(resp, lumetra::bandCentreHz(row.band));
                EXPECT_NEAR(t.attackSec, row.times[mode][0], 6e-5f);
                EXPECT_NEAR(t.releaseSec, row.times[mode][1], 6e-5f);
            }
    // Ramps start exactly at 30 Hz.
    EXPECT_EQ(lumetra::responseTimes(0.0f, 30.0f).attackSec, lumetra::responseTimes(0.0f, 15.0f).attackSec);
    EXPECT_EQ(lumetra::responseTimes(0.0f, 30.0f).releaseSec, lumetra::responseTimes(0.0f, 15.0f).releaseSec);
}

TEST(MeterValue, FractionOfTheSixtyDecibelWindow) {
    EXPECT_NEAR(lumetra::meterFraction(1.0f, 0.0f), 1.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(lumetra::packedMeterValue(5, lumetra::meterFraction(1.0f, 0.0f)), 5.16667f, 5e-6f);
    EXPECT_EQ(lumetra::packedMeterValue(5, lumetra::meterFraction(1.0f, 1.0f)), 5.5f);
    EXPECT_EQ(lumetra::meterFraction(0.0f, 0.5f), 0.0f);  // -400 dB
    EXPECT_EQ(lumetra::meterFraction(0.1f, 0.0f), 0.0f);  // exactly at the bottom, -20 dB
    EXPECT_EQ(lumetra::meterFraction(100.0f, 0.0f), 1.0f);  // exactly at the top, +40 dB
    for (float level : {kNan, kInf, -1.0f})
        for (float volume : {kNan, kInf, -kInf, 0.5f}) {
            const float f = lumetra::meterFraction(level, volume);
            EXPECT_TRUE(f >= 0.0f && f <= 1.0f) << level << " " << volume;
        }
}

struct LanePath {
    bool (*supported)();
    int (*log10)(const float*, float*, int);
};
const LanePath kLanePaths[] = {
    {[] { return true; }, lumetra::log10FloatsSse2},
    {[] { return __builtin_cpu_supports("avx2") != 0; }, lumetra::log10FloatsAvx2},
    {[] { return __builtin_cpu_supports("avx512f") != 0; }, lumetra::log10FloatsAvx512},
};

// Every positive finite float against the narrowed double logarithm of the C library, through
// the scalar path and every lane path this CPU has. The sanitizer builds, many times slower, take
// every 4099th.
TEST(MeterValue, LogarithmIsTheNarrowedDoubleOneForEveryFloat) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr uint32_t kStride = 4099;
#elif defined(__i386__)
    constexpr uint32_t kStride = 61;  // 32-bit Windows under Wine: its double logarithm is slow
#else
    constexpr uint32_t kStride = 1;
#endif
    constexpr uint32_t kEnd = 0x7F800000u;  // +inf: the positive finite floats lie below
    const uint32_t threads = std::max(1u, std::thread::hardware_concurrency());
    std::vector<uint32_t> mismatches(threads, 0), firstBad(threads, 0);
    std::vector<std::thread> workers;
    for (uint32_t t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            constexpr int kBatch = 4096;
            std::vector<float> x(kBatch), lanes(kBatch);
            const uint64_t span = (uint64_t{kEnd} + threads - 1) / threads;
            const uint64_t to = std::min<uint64_t>(kEnd, span * (t + 1));
            for (uint64_t at = std::max<uint64_t>(1, span * t); at < to;) {
                int n = 0;
                for (; n < kBatch && at < to; ++n, at += kStride) x[n] = std::bit_cast<float>(static_cast<uint32_t>(at));
                std::vector<uint32_t> want(static_cast<size_t>(n));
                for (int i = 0; i < n; ++i) {
                    want[i] = std::bit_cast<uint32_t>(static_cast<float>(std::log10(static_cast<double>(x[i]))));
                    if (std::bit_cast<uint32_t>(lumetra::log10Float(x[i])) != want[i] && mismatches[t]++ == 0)
                        firstBad[t] = std::bit_cast<uint32_t>(x[i]);
                }
                for (const LanePath& path : kLanePaths) {
                    if (!path.supported()) continue;
                    const int done = path.log10(x.data(), lanes.data(), n);
                    for (int i = 0; i < done; ++i)
                        if (std::bit_cast<uint32_t>(lanes[i]) != want[i] && mismatches[t]++ == 0)
                            firstBad[t] = std::bit_cast<uint32_t>(x[i]);
                }
            }
        });
    for (std::thread& worker : workers) worker.join();
    for (uint32_t t = 0; t < threads; ++t)
        EXPECT_EQ(mismatches[t], 0u) << "first at bits 0x" << std::hex << firstBad[t];

    // Outside the positive finite floats, the library's answers; and the meter's own values
    // through the lanes equal the scalar ones, which the meter fractions are built on.
    for (float x : {0.0f, -0.0f, -1.0f, kInf, -kInf, kNan}) {
        SCOPED_TRACE(x);
        const float reference = static_cast<float>(std::log10(static_cast<double>(x)));
        float lanes[2];
        const float pair[2] = {x, 1.0f};
        lumetra::log10Floats(pair, lanes, 2);
        EXPECT_EQ(std::isnan(reference), std::isnan(lumetra::log10Float(x)));
        if (!std::isnan(reference)) {
            EXPECT_EQ(lumetra::log10Float(x), reference);
        }
        EXPECT_EQ(std::bit_cast<uint32_t>(lanes[0]), std::bit_cast<uint32_t>(lumetra::log10Float(x)));
    }
    // Levels from silence to far above the window, specials among them, and volumes that put the
    // window's edges on exact decibel values, through every lane width.
    std::vector<float> levels = {0.0f, 1e-21f, 1e-20f, 0.001f, 0.7071f, 1.0f, 100.0f, kInf, kNan, 3e38f, 1e-30f, -1.0f};
    std::mt19937 random(7);
    std::uniform_real_distribution<float> exponent(-25.0f, 5.0f);
    while (levels.size() < 4000) levels.push_back(std::pow(10.0f, exponent(random)));
    levels.push_back(0.1f);     // the bottom at Volume 0
    levels.push_back(100.0f);   // the top at Volume 0
    const float volumes[] = {0.0f, 0.3f, 0.5f, 1.0f, -0.25f, 1e30f, kNan, kInf, -kInf};
    // The levels where a window's groups stop needing a logarithm, and their neighbours, in runs
    // of eight so that whole groups sit on either side.
    for (float volume : volumes) {
        const lumetra::MeterWindow window = lumetra::meterWindow(volume);
        for (float edge : {window.zeroUpTo, window.oneFrom})
            for (float level : {std::nextafter(edge, 0.0f), edge, std::nextafter(edge, kInf)})
                levels.insert(levels.end(), 8, level);
    }
    const int n = static_cast<int>(levels.size());
    std::vector<float> decibels(levels.size()), fractions(levels.size());
    lumetra::meterDecibels(levels.data(), decibels.data(), n);
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(std::bit_cast<uint32_t>(decibels[i]), std::bit_cast<uint32_t>(lumetra::meterDecibels(levels[i])))
            << levels[i];
    for (float volume : volumes) {
        const lumetra::MeterWindow window = lumetra::meterWindow(volume);
        if (window.zeroUpTo >= 0.0f) {
            EXPECT_EQ(lumetra::meterFraction(window.zeroUpTo, volume), 0.0f);
            if (window.zeroUpTo < std::numeric_limits<float>::max()) {
                EXPECT_GT(lumetra::meterFraction(std::nextafter(window.zeroUpTo, kInf), volume), 0.0f) << volume;
            }
        }
        if (!std::isnan(window.oneFrom)) {
            EXPECT_EQ(lumetra::meterFraction(window.oneFrom, volume), 1.0f);
            if (window.oneFrom > 0.0f) {
                EXPECT_LT(lumetra::meterFraction(std::nextafter(window.oneFrom, 0.0f), volume), 1.0f);
            }
        }
        for (int maxLanes : {1, 2, 4, 8}) {
            lumetra::meterFractions(levels.data(), window, fractions.data(), n, maxLanes);
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(std::bit_cast<uint32_t>(fractions[i]), std::bit_cast<uint32_t>(lumetra::meterFraction(levels[i], volume)))
                    << "level " << levels[i] << ", volume " << volume << ", " << maxLanes << " lanes";
        }
    }
    EXPECT_EQ(lumetra::meterDecibels(0.0f), -400.0f);
}

}  // namespace
