#include "tools/LiveAnalysis.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/BandAnalyzer.h"

namespace lumetra {

namespace {

const float zeroLevels[kNumBands] = {};

}  // namespace

LiveAnalysis::LiveAnalysis(double intervalSec) : intervalSec(intervalSec) {}

LiveAnalysis::~LiveAnalysis() {
    delete pending.exchange(nullptr);
    freeRetired();
    delete current;
}

void LiveAnalysis::freeRetired() {
    for (Engine* engine = retired.exchange(nullptr, std::memory_order_acquire); engine != nullptr;) {
        Engine* next = engine->nextRetired;
        delete engine;
        engine = next;
    }
}

int LiveAnalysis::install(std::unique_ptr<BandAnalyzer> analyzer, double sampleRate) {
    auto engine = std::make_unique<Engine>();
    {
        std::vector<float> silence(kMaxChunk, 0.0f);  // a multiple of the 128-frame RMS block
        analyzer->process(silence.data(), silence.data(), kMaxChunk);
    }
    for (int j = 0; j < kNumBands; ++j) engine->centreHz[j] = analyzer->centreHz(j);
    engine->analyzer = std::move(analyzer);
    return hand(std::move(engine), sampleRate);
}

int LiveAnalysis::install(std::unique_ptr<LevelAnalyzer> analyzer, double sampleRate) {
    auto engine = std::make_unique<Engine>();
    analyzer->reserve(kMaxChunk);  // no run of silence: it would count in the statistics
    for (int j = 0; j < kNumBands; ++j) engine->centreHz[j] = analyzer->centreHz(j);
    engine->measured = std::move(analyzer);
    return hand(std::move(engine), sampleRate);
}

bool LiveAnalysis::statistics(LevelStatistics* entries, double* seconds) const {
    const Engine* engine = current != nullptr ? current : pending.load(std::memory_order_acquire);
    if (engine == nullptr || !engine->measured) return false;
    for (int e = 0; e < kLevelEntries; ++e) entries[e] = engine->measured->statistics(e);
    *seconds = engine->measured->seconds();
    return true;
}

int LiveAnalysis::hand(std::unique_ptr<Engine> engine, double sampleRate) {
    engine->sampleRate = sampleRate;
    engine->intervalFrames = std::max<int64_t>(1, std::llround(intervalSec * sampleRate));
    engine->number = installed++;
    freeRetired();
    delete pending.exchange(engine.release(), std::memory_order_acq_rel);  // one never taken
    return installed - 1;
}

void LiveAnalysis::process(float* left, float* right, int n) noexcept {
    if (pending.load(std::memory_order_relaxed) != nullptr) {
        if (Engine* next = pending.exchange(nullptr, std::memory_order_acq_rel)) {
            if (current != nullptr) {
                // Pushed for the reader; a retry only when the reader took the list meanwhile.
                Engine* head = retired.load(std::memory_order_relaxed);
                do {
                    current->nextRetired = head;
                } while (!retired.compare_exchange_weak(head, current, std::memory_order_release,
                                                        std::memory_order_relaxed));
            }
            current = next;
            building = LiveInterval{};  // an interval does not span two engines
            engineFrames = 0;
            intervalEnd = current->intervalFrames;
        }
    }
    for (int done = 0; done < n;) {
        const int chunk = std::min(n - done, kMaxChunk);
        runChunk(left + done, right + done, chunk, frames.load(std::memory_order_relaxed) + done);
        done += chunk;
    }
    frames.fetch_add(n, std::memory_order_relaxed);
    if (current && n > 0) publishMeters();
}

void LiveAnalysis::runChunk(float* left, float* right, int n, int64_t startFrame) noexcept {
    if (current == nullptr) return;
    if (LevelAnalyzer* measured = current->measured.get()) {
        measured->process(left, right, n);
    } else {
        current->analyzer->process(left, right, n);
    }
    if (intervalSec <= 0) return;
    if (!current->measured) {
        float levels[kNumBands];
        for (int j = 0; j < kNumBands; ++j) levels[j] = current->analyzer->level(j);
        building.stats.add(levels, n);
    } else {
        building.stats.add(zeroLevels, n);  // counts the frames
    }
    engineFrames += n;
    if (engineFrames < intervalEnd) return;
    // Intervals end at the first period boundary at or after each multiple of their length, so
    // that their times do not drift.
    while (intervalEnd <= engineFrames) intervalEnd += current->intervalFrames;
    building.endFrame = startFrame + n;
    building.sampleRate = current->sampleRate;
    if (LevelAnalyzer* measured = current->measured.get()) {
        building.measured = true;
        measured->takeIntervalLeq(building.leqDb);
        for (int e = 0; e < kLevelEntries; ++e) building.levelDb[e] = measured->levelDb(e);
    }
    building.engine = current->number;
    std::copy(std::begin(current->centreHz), std::end(current->centreHz), building.centreHz);
    const uint64_t written = intervalsWritten.load(std::memory_order_relaxed);
    if (written - intervalsRead.load(std::memory_order_acquire) < kIntervalSlots) {
        intervals[written % kIntervalSlots] = building;
        intervalsWritten.store(written + 1, std::memory_order_release);
    } else {
        dropped.fetch_add(1, std::memory_order_relaxed);
    }
    building = LiveInterval{};
}

void LiveAnalysis::publishMeters() noexcept {
    const uint32_t sequence = meterSequence.load(std::memory_order_relaxed);
    meterSequence.store(sequence + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (int j = 0; j < kNumBands; ++j)
        meters[size_t(j)].store(current->measured ? current->measured->meterFraction(j) : current->analyzer->meterFraction(j),
                                std::memory_order_relaxed);
    meterSequence.store(sequence + 2, std::memory_order_release);
}

bool LiveAnalysis::newestMeters(float* fractions) const {
    for (;;) {
        const uint32_t before = meterSequence.load(std::memory_order_acquire);
        if (before == 0) return false;
        if (before & 1u) continue;  // the audio thread is writing them: a few stores
        for (int j = 0; j < kNumBands; ++j) fractions[j] = meters[size_t(j)].load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if (meterSequence.load(std::memory_order_relaxed) == before) return true;
    }
}

bool LiveAnalysis::nextInterval(LiveInterval& out) {
    const uint64_t read = intervalsRead.load(std::memory_order_relaxed);
    if (read == intervalsWritten.load(std::memory_order_acquire)) return false;
    out = intervals[read % kIntervalSlots];
    intervalsRead.store(read + 1, std::memory_order_release);
    return true;
}

}  // namespace lumetra
