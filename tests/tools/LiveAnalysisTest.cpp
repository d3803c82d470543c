// The hand-over between the JACK process callback and the thread that shows and writes: the
// audio side allocates nothing whatever the period, and the reader sees whole, ordered values.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "tests/support/AllocationCounter.h"
#include "tests/tools/AudioFiles.h"
#include "tools/AnalyzeOptions.h"
#include "tools/BandAnalyzer.h"
#include "tools/LevelAnalyzer.h"
#include "tools/LiveAnalysis.h"

namespace lumetra {
namespace {

using test::AllocationCounter;

TEST(LiveAnalysis, AudioSideAllocatesNothingForAnyPeriodOrANewEngine) {
    if (!AllocationCounter::kActive) GTEST_SKIP() << "the sanitizers bring their own allocator";
    std::vector<float> left = test::sine(1000.0, 0.1, 48000, 3 * LiveAnalysis::kMaxChunk), right = left;
    LiveAnalysis analysis(0.05);
    analysis.install(std::make_unique<BandAnalyzer>(48000.0, AnalyzeOptions{}), 48000.0);
    AllocationCounter counter;
    // The plug-in's bank at two rates, then the standard bank with every time weighting.
    const AnalyzeOptions standard = parseAnalyzeOptions({"--filters", "standard", "--weighting", "A", "--time", "slow"});
    for (const double rate : {48000.0, 44100.0, 96000.0}) {
        SCOPED_TRACE(rate);
        if (rate == 44100.0) analysis.install(std::make_unique<BandAnalyzer>(rate, AnalyzeOptions{}), rate);
        if (rate == 96000.0) analysis.install(std::make_unique<LevelAnalyzer>(rate, standard), rate);
        counter.start();
        // Periods as servers give them, one beyond the engine's largest call, and a change back.
        for (const int n : {64, 256, 1, 1024, 4096, LiveAnalysis::kMaxChunk, 2 * LiveAnalysis::kMaxChunk + 5, 128})
            analysis.process(left.data(), right.data(), n);
        counter.stop();
        EXPECT_EQ(counter.allocations(), 0);

        LiveInterval interval;
        int intervals = 0;
        while (analysis.nextInterval(interval)) {
            ++intervals;
            EXPECT_EQ(interval.sampleRate, rate);
        }
        EXPECT_GT(intervals, 3);
        float fractions[kNumBands];
        ASSERT_TRUE(analysis.newestMeters(fractions));
        const int toneBand = rate == 96000.0 ? 21 : 18;  // the 1 kHz of 48 kHz samples: 2 kHz at 96 kHz
        EXPECT_GT(fractions[toneBand], fractions[10] + 0.3f);
    }
}

// Under ThreadSanitizer: the meters and intervals cross threads without a race; each interval
// arrives whole, once and in order, or is counted as dropped.
TEST(LiveAnalysis, ReaderOnAnotherThreadGetsEveryIntervalInOrder) {
    const std::vector<float> signal = test::sine(1000.0, 0.1, 48000, 256);
    std::vector<float> left = signal, right = signal;
    LiveAnalysis analysis(256.0 / 48000.0);  // one interval per period
    analysis.install(std::make_unique<BandAnalyzer>(48000.0, AnalyzeOptions{}), 48000.0);
    constexpr int kPeriods = 2000;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int p = 0; p < kPeriods; ++p) {
            analysis.process(left.data(), right.data(), 256);
            if (p % 32 == 0) std::this_thread::yield();  // let the reader keep up, as a real period would
        }
        done.store(true);
    });
    int64_t lastEnd = 0, taken = 0;
    float fractions[kNumBands];
    for (bool finished = false; !finished;) {
        finished = done.load();
        analysis.newestMeters(fractions);
        LiveInterval interval;
        while (analysis.nextInterval(interval)) {
            EXPECT_GT(interval.endFrame, lastEnd);
            EXPECT_EQ(interval.endFrame % 256, 0);
            EXPECT_EQ(interval.stats.frameCount(), 256);
            lastEnd = interval.endFrame;
            ++taken;
        }
    }
    audio.join();
    EXPECT_EQ(taken + analysis.droppedIntervals(), kPeriods);
    EXPECT_EQ(analysis.framesProcessed(), int64_t(kPeriods) * 256);
}

// The reader installs engine after engine while the audio thread runs (new controls from the
// window, a new rate): whatever the interleaving, the last one installed is the one that measures.
TEST(LiveAnalysis, TheEngineInstalledLastIsTheOneInUse) {
    std::vector<float> left(256, 0.0f), right(256, 0.0f);
    LiveAnalysis analysis(256.0 / 48000.0);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        while (!stop.load()) analysis.process(left.data(), right.data(), 256);
    });
    int last = 0;
    for (int i = 0; i < 150; ++i) last = analysis.install(std::make_unique<BandAnalyzer>(48000.0, AnalyzeOptions{}), 48000.0);
    // Enough periods after the last install for any engine that is pending to be taken.
    const int64_t from = analysis.framesProcessed();
    LiveInterval interval;
    int newest = -1;
    while (analysis.framesProcessed() < from + 64 * 256) {
        while (analysis.nextInterval(interval)) newest = interval.engine;
        analysis.freeRetired();
        std::this_thread::yield();
    }
    stop.store(true);
    audio.join();
    while (analysis.nextInterval(interval)) newest = interval.engine;
    EXPECT_EQ(newest, last);
}

}  // namespace
}  // namespace lumetra
