// The analyzer fed from a live input, and the lock-free hand-over of what it measures to the
// thread that shows and writes it. Audio thread: process(). One other thread (the reader): all
// the rest. process() allocates nothing, takes no lock and never waits.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "tools/AnalyzeBands.h"
#include "tools/AnalyzeReport.h"
#include "tools/LevelAnalyzer.h"

namespace lumetra {

class BandAnalyzer;

// One interval of the --csv/--json streams: the band statistics over it and where it ends.
struct LiveInterval {
    BandStats stats;  // the plug-in's bank
    // The standard bank: each entry's energy mean over the interval and its level at the end
    // (dB; NaN for a band it does not measure).
    bool measured = false;
    float leqDb[kLevelEntries] = {};
    float levelDb[kLevelEntries] = {};
    float centreHz[kNumBands] = {};  // the exact band centres at its sample rate
    int64_t endFrame = 0;               // frames analysed since the start, at its end
    double sampleRate = 0;
    int engine = 0;                     // what install() answered for the analyzer that measured it
};

class LiveAnalysis {
public:
    // Frames per engine call at most. A longer period runs in pieces of this size, so the engine's
    // buffers, sized by install() before the audio thread gets the engine, never grow there.
    static constexpr int kMaxChunk = 8192;

    // intervalSec: length of one LiveInterval; 0 for none.
    explicit LiveAnalysis(double intervalSec);
    ~LiveAnalysis();  // once the audio thread has stopped calling process()
    LiveAnalysis(const LiveAnalysis&) = delete;
    LiveAnalysis& operator=(const LiveAnalysis&) = delete;

    // Reader. Sizes the analyzer's buffers for kMaxChunk frames (by a run of silence) and hands it
    // to the audio thread, which takes it at its next period in place of the one it had (a new
    // sample rate, new controls), whatever the reader did meanwhile: the newest one installed
    // is always the one taken. Analyzers it no longer uses are freed here, by freeRetired() and
    // at destruction.
    // Answers the analyzer's number (0, 1, ...), which the intervals it measures carry.
    int install(std::unique_ptr<BandAnalyzer> analyzer, double sampleRate);
    // The same for the standard bank. Its statistics since it was installed: statistics().
    int install(std::unique_ptr<LevelAnalyzer> analyzer, double sampleRate);
    // Reader, once the audio thread has stopped calling process(): the statistics of the
    // standard bank last in use, false when there is none.
    bool statistics(LevelStatistics* entries, double* seconds) const;

    // Audio thread. One period of n >= 0 frames; without an analyzer it only counts frames.
    void process(float* left, float* right, int n) noexcept;

    // Reader. Frees the analyzers the audio thread has put aside.
    void freeRetired();

    // Reader. The newest meter fractions (0..1, as the editor's meters get them); false before
    // the first period.
    bool newestMeters(float* fractions) const;
    int64_t framesProcessed() const { return frames.load(std::memory_order_relaxed); }
    // Reader. The oldest finished interval not yet taken; false when there is none.
    bool nextInterval(LiveInterval& out);
    // Intervals the reader did not take in time (the hand-over holds kIntervalSlots).
    int64_t droppedIntervals() const { return dropped.load(std::memory_order_relaxed); }

private:
    struct Engine {
        std::unique_ptr<BandAnalyzer> analyzer;   // one of the two
        std::unique_ptr<LevelAnalyzer> measured;
        double sampleRate = 0;
        float centreHz[kNumBands] = {};
        int64_t intervalFrames = 0;
        int number = 0;
        Engine* nextRetired = nullptr;  // the retired list's link
    };
    static constexpr size_t kIntervalSlots = 64;

    int hand(std::unique_ptr<Engine> engine, double sampleRate);
    void publishMeters() noexcept;
    void runChunk(float* left, float* right, int n, int64_t startFrame) noexcept;

    const double intervalSec;
    int installed = 0;  // reader's own

    // Engine hand-over: the reader puts a new one in `pending` (freeing one never taken); the
    // audio thread takes it at its next period and pushes its old one onto `retired`, a list the
    // reader takes whole and frees. The audio thread never waits for the reader.
    std::atomic<Engine*> pending{nullptr};
    std::atomic<Engine*> retired{nullptr};
    Engine* current = nullptr;  // audio thread's own

    // Meter fractions as a sequence lock: odd while the audio thread writes them.
    std::atomic<uint32_t> meterSequence{0};
    std::array<std::atomic<float>, kNumBands> meters{};
    std::atomic<int64_t> frames{0};

    // Finished intervals, single producer (audio) and single consumer (reader).
    std::array<LiveInterval, kIntervalSlots> intervals{};
    std::atomic<uint64_t> intervalsWritten{0};
    std::atomic<uint64_t> intervalsRead{0};
    std::atomic<int64_t> dropped{0};
    LiveInterval building;  // audio thread's own: the interval in progress
    int64_t engineFrames = 0;  // frames through the current engine
    int64_t intervalEnd = 0;   // engineFrames at which the interval in progress ends
};

}  // namespace lumetra
