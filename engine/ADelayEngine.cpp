// ADelay's engine operations: the band bank for a sample rate, the response modes, resume's
// engine steps and the block processing.
#include <algorithm>
#include <cstring>
#include <new>

#include "engine/BandBank.h"
#include "engine/MeterValue.h"
#include "engine/ResponseMode.h"
#include "plugin/ADelay.h"

namespace {

constexpr int32_t kSectionsPerBand = 4;

size_t count(int32_t value) { return value > 0 ? static_cast<size_t>(value) : 0; }

// Allocates only for a block longer than any before; resume() sizes the buffers for one second.
// False when the memory cannot be had: the caller skips the analysis of that block.
bool growTo(std::vector<float>& buffer, size_t n) noexcept {
    if (buffer.size() >= n) return true;
    try {
        buffer.resize(n);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

// UI thread (the constructor and resume). A rate that is not usable leaves the bank as built.
void ADelay::rebuildBank() {
    const float rate = getSampleRate();
    if (!lumetra::isUsableSampleRate(rate)) return;
    bankSampleRate = rate;
    if (bank.empty()) bank.resize(1);
    const size_t bands = count(numBands);
    for (std::vector<FilteredDetector>& row : bank) {
        if (row.size() < bands) row.resize(bands, FilteredDetector());
        for (size_t j = 0; j < bands; ++j)
            row[j].setup(1.0f, 1.0f, bankSampleRate, lumetra::bandCentreHz(static_cast<int32_t>(j)), kSectionsPerBand);
    }
    applyResponseMode();  // replaces the 1 s times before any block is processed
    const auto oneSecond = static_cast<size_t>(rate);  // truncated toward zero
    analysisBuffer.resize(oneSecond);
    delayRing.resize(2 * oneSecond);
}

// The thread that sets Resp, or resume. Levels and filters stay; only the times change.
void ADelay::applyResponseMode() {
    const float resp = respValue;
    for (std::vector<FilteredDetector>& row : bank) {
        const size_t bands = std::min(count(numBands), row.size());
        for (size_t j = 0; j < bands; ++j) {
            const lumetra::ResponseTimes times = lumetra::responseTimes(resp, row[j].centreFrequency);
            row[j].setTimes(times.attackSec, times.releaseSec);
        }
    }
}

// UI thread; the host does not process meanwhile.
void ADelay::resume() {
    const float rate = getSampleRate();
    if (!(rate == bankSampleRate) && lumetra::isUsableSampleRate(rate)) rebuildBank();  // NaN differs
    if (!bank.empty()) {
        std::vector<FilteredDetector>& row = bank[0];
        const size_t bands = std::min(count(numBands), row.size());
        for (size_t j = 0; j < bands; ++j) row[j].level = 0.0f;
    }
    ringWritePos = 0;
    std::fill(delayRing.begin(), delayRing.end(), 0.0f);

    // Work buffers for the host's announced block, so its first block allocates nothing either.
    const size_t hostBlock = std::min(count(getBlockSize()), analysisBuffer.size());
    try {
        for (std::vector<FilteredDetector>& row : bank)
            for (FilteredDetector& detector : row) detector.workBuffer.reserve(hostBlock);
        kernel.reserve(static_cast<uint32_t>(std::max(hostBlock, analysisBuffer.size())));
    } catch (const std::bad_alloc&) {
        // The first block grows them instead.
    }
    AudioEffectX::resume();
}

// Audio thread. Never throws: a buffer that cannot grow skips the analysis of that block.
void ADelay::processBlock(float** inputs, float** outputs, VstInt32 sampleFrames) {
    const int32_t channels = numChannels;
    if (sampleFrames < 0 || inputs == nullptr || outputs == nullptr || channels < 1) return;
    for (int32_t c = 0; c < channels; ++c)
        if (inputs[c] == nullptr || outputs[c] == nullptr) return;
    const auto n = static_cast<uint32_t>(sampleFrames);
    const size_t bytes = size_t{n} * sizeof(float);

    const int32_t delayRead = delaySamples;
    const uint32_t delay = delayRead > 0 ? static_cast<uint32_t>(delayRead) : 0;
    bool analyse = growTo(analysisBuffer, n);
    if (analyse && delay > 0) analyse = growTo(delayRing, size_t{delay} + n);
    if (analyse && !bank.empty())
        for (FilteredDetector& detector : bank[0]) analyse = analyse && growTo(detector.workBuffer, n);
    if (analyse && !bank.empty()) analyse = kernel.grow(n);

    // Pass-through and analysis signal. The outputs may be the inputs themselves.
    const float mode = modeValue;
    const bool fill = analyse && n > 0;  // an empty block still flushes the sections below
    float* analysis = analysisBuffer.data();
    for (int32_t c = 0; c < channels; ++c) {
        if (outputs[c] != inputs[c]) std::memmove(outputs[c], inputs[c], bytes);
        if (!fill || mode < 0.3f || !(mode < 0.7f)) continue;
        if (c == 0) {
            std::memcpy(analysis, inputs[0], bytes);
        } else {
            const float* in = inputs[c];
            for (uint32_t k = 0; k < n; ++k) analysis[k] = in[k] + analysis[k];  // left + right, not halved
        }
    }
    if (!analyse) {
        pushMeters();
        return;
    }
    if (fill && mode < 0.3f) std::memcpy(analysis, inputs[0], bytes);
    else if (fill && !(mode < 0.7f)) std::memcpy(analysis, inputs[channels > 1 ? 1 : 0], bytes);

    // Analysis delay: the block is written before it is read, so the delay is exact for any D.
    if (fill && delay > 0) {
        float* ring = delayRing.data();
        const auto length = static_cast<uint32_t>(delayRing.size());  // at least delay + n
        uint32_t write = ringWritePos;
        if (write >= length) write = 0;
        const uint32_t n1 = std::min(length - write, n);
        std::memcpy(ring + write, analysis, size_t{n1} * sizeof(float));
        std::memcpy(ring, analysis + n1, size_t{n - n1} * sizeof(float));
        const uint32_t read = delay <= write ? write - delay : length - delay + write;
        const uint32_t n2 = std::min(length - read, n);
        std::memcpy(analysis, ring + read, size_t{n2} * sizeof(float));
        std::memcpy(analysis + n2, ring, size_t{n - n2} * sizeof(float));
        const uint64_t next = uint64_t{write} + n;
        ringWritePos = static_cast<uint32_t>(next >= length ? next - length : next);
    }

    if (!bank.empty()) {
        std::vector<FilteredDetector>& row = bank[0];
        const size_t bands = std::min(count(numBands), row.size());
        if (bands == row.size())
            kernel.process(row, analysis, n);  // all bands at once, the same bits as the loop below
        else
            for (size_t j = 0; j < bands; ++j) row[j].process(analysis, n);
    }
    pushMeters();
}

// Audio thread: every band's packed meter value through the virtual setParameter, band 0 first.
void ADelay::pushMeters() {
    const float volume = volumeValue;
    const size_t bands = count(numBands);
    const size_t present = bank.empty() ? 0 : bank[0].size();
    for (size_t j = 0; j < bands; ++j) {
        const float level = j < present ? bank[0][j].level : 0.0f;
        setParameter(lumetra::kFeedBack,
                     lumetra::packedMeterValue(static_cast<int32_t>(j), lumetra::meterFraction(level, volume)));
    }
}
