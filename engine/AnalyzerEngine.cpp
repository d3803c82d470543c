#include "engine/AnalyzerEngine.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "engine/BandBank.h"
#include "engine/MeterValue.h"
#include "engine/ResponseMode.h"

namespace lumetra {

namespace {

constexpr int32_t kSectionsPerBand = 4;

// Allocates only for a block longer than any before; prepare() sizes the buffers for one second.
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

// A rate that is not usable leaves the bank as built.
void AnalyzerEngine::rebuildBank(float rateHz) {
    if (!isUsableSampleRate(rateHz)) return;
    bankSampleRate = rateHz;
    kernel.setBands(numBands);  // bands already present stay
    for (int32_t j = 0; j < numBands; ++j)
        kernel.detector(j).setup(1.0f, 1.0f, rateHz, bandCentreHz(j), kSectionsPerBand);
    applyResponseMode();  // replaces the 1 s times before any block is processed
    const auto oneSecond = static_cast<size_t>(rateHz);  // truncated toward zero
    analysisBuffer.resize(oneSecond);
    delayRing.resize(2 * oneSecond);
}

void AnalyzerEngine::prepare(float rateHz, int32_t maxBlock) {
    const bool built = kernel.getBands() == numBands;
    if ((!built || !(rateHz == bankSampleRate)) && isUsableSampleRate(rateHz)) rebuildBank(rateHz);  // NaN differs
    for (int32_t j = 0; j < kernel.getBands(); ++j) kernel.detector(j).setLevel(0.0f);
    ringWritePos = 0;
    std::fill(delayRing.begin(), delayRing.end(), 0.0f);

    // Work buffers for the host's announced block, so its first block allocates nothing either.
    const size_t hostBlock = std::min(static_cast<size_t>(std::max(maxBlock, int32_t{0})), analysisBuffer.size());
    try {
        kernel.reserve(static_cast<uint32_t>(hostBlock));
    } catch (const std::bad_alloc&) {
        // The first block grows them instead.
    }
    updateMeterFractions();
}

void AnalyzerEngine::setDelay(float value, float hostRateHz) {
    delaySamples = delaySamplesFor(value, hostRateHz, bankSampleRate);
}

void AnalyzerEngine::setResp(float value) {
    respValue = value;
    applyResponseMode();
}

// The thread that sets Resp, or the one that builds the bank. Only the times change.
void AnalyzerEngine::applyResponseMode() {
    const float resp = respValue;
    for (int32_t j = 0; j < kernel.getBands(); ++j) {
        DetectorView detector = kernel.detector(j);
        const ResponseTimes times = responseTimes(resp, detector.centreFrequency());
        detector.setTimes(times.attackSec, times.releaseSec);
    }
}

// Audio thread.
bool AnalyzerEngine::process(const float* const* inputs, int32_t channels, uint32_t n) noexcept {
    const size_t bytes = size_t{n} * sizeof(float);
    const int32_t delayRead = delaySamples;
    const uint32_t delay = delayRead > 0 ? static_cast<uint32_t>(delayRead) : 0;
    bool analyse = channels >= 1 && growTo(analysisBuffer, n);
    if (analyse && delay > 0) analyse = growTo(delayRing, size_t{delay} + n);
    if (analyse) analyse = kernel.grow(n);
    if (!analyse) {
        updateMeterFractions();
        return false;
    }

    // The analysis signal: one channel as it stands, or the sum in the analysis buffer. An empty
    // block still flushes the sections below.
    float* analysis = analysisBuffer.data();
    const float mode = modeValue;
    const float* signal = inputs[0];
    if (mode < 0.3f) {
        signal = inputs[0];
    } else if (!(mode < 0.7f)) {  // NaN too
        signal = inputs[channels > 1 ? 1 : 0];
    } else if (n > 0) {
        if (channels > 1) {
            const float* left = inputs[0];
            const float* right = inputs[1];
            for (uint32_t k = 0; k < n; ++k) analysis[k] = right[k] + left[k];  // left + right, not halved
            for (int32_t c = 2; c < channels; ++c) {
                const float* in = inputs[c];
                for (uint32_t k = 0; k < n; ++k) analysis[k] = in[k] + analysis[k];
            }
        } else {
            std::memcpy(analysis, inputs[0], bytes);
        }
        signal = analysis;
    }

    // Analysis delay: the block is written before it is read, so the delay is exact for any D.
    if (n > 0 && delay > 0) {
        float* ring = delayRing.data();
        const auto length = static_cast<uint32_t>(delayRing.size());  // at least delay + n
        uint32_t write = ringWritePos;
        if (write >= length) write = 0;
        const uint32_t n1 = std::min(length - write, n);
        std::memcpy(ring + write, signal, size_t{n1} * sizeof(float));
        std::memcpy(ring, signal + n1, size_t{n - n1} * sizeof(float));
        const uint32_t read = delay <= write ? write - delay : length - delay + write;
        const uint32_t n2 = std::min(length - read, n);
        std::memcpy(analysis, ring + read, size_t{n2} * sizeof(float));
        std::memcpy(analysis + n2, ring, size_t{n - n2} * sizeof(float));
        const uint64_t next = uint64_t{write} + n;
        ringWritePos = static_cast<uint32_t>(next >= length ? next - length : next);
        signal = analysis;
    }

    kernel.process(signal, n);
    updateMeterFractions();
    return true;
}

// Audio thread (and prepare). Volume is read once for all bands. The logarithms run on the lanes
// of the bank's path (the same bits on every path), so a path chosen for measuring is measured
// whole.
void AnalyzerEngine::updateMeterFractions() {
    int lanes = 1;
    switch (kernel.getPath()) {
    case KernelPath::Plain: lanes = 1; break;
    case KernelPath::Sse2: lanes = 2; break;
    case KernelPath::Avx2: lanes = 4; break;
    case KernelPath::Avx512: lanes = 8; break;
    }
    const float volume = volumeValue;
    if (std::bit_cast<uint32_t>(volume) != std::bit_cast<uint32_t>(window.volume)) window = meterWindow(volume);
    meterFractions(kernel.levelLanes(), window, fractions, numBands, lanes);
}

}  // namespace lumetra
