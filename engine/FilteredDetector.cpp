#include "engine/FilteredDetector.h"

#include <cmath>
#include <numbers>

#include "engine/DesignMath.h"

namespace {

constexpr int32_t kSections = 4;  // the cascade always has four, whatever the caller asks

bool finite(const CFxRbjFilter& s) {
    return std::isfinite(s.y1) && std::isfinite(s.y2) && std::isfinite(s.x1) && std::isfinite(s.x2);
}

}  // namespace

float FilteredDetector::sectionQuality(float centreHz, float rateHz) {
    const float x = static_cast<float>(static_cast<double>(centreHz) * std::numbers::pi / static_cast<double>(rateHz));
    return lumetra::designCos(x) * 2.2f + 0.14999986f;  // the addend is not 0.15: bits 0x3E199990
}

float FilteredDetector::blockCoefficient(float timeSec, float rateHz, uint32_t blockLength) {
    const float h = timeSec * 0.5f;
    const float c = h > 0.0f ? 1.0f - lumetra::designExp(-1.0f / (h * rateHz)) : 1.0f;
    return 1.0f - lumetra::designPow(1.0f - c, static_cast<float>(blockLength));
}

// The thread that builds the bank.
void FilteredDetector::setup(float attack, float release, float rate, float centre, int32_t /*numSections*/) {
    attackTime = attack;
    releaseTime = release;
    centreFrequency = centre;
    sampleRate = rate;
    if (sections.size() < kSections) sections.resize(kSections);

    const float q = sectionQuality(centreFrequency, sampleRate);
    sections[0].designBandPass(centreFrequency, sampleRate, q);
    // Whole copies, histories included: a repeated setup leaves four identical sections.
    for (size_t s = 1; s < sections.size(); ++s) sections[s] = sections[0];

    setTimes(attack, release);
    level = 0.0f;
}

// The thread that builds the bank or sets Resp; the audio thread reads each coefficient whole.
void FilteredDetector::setTimes(float attack, float release) {
    attackTime = attack;
    releaseTime = release;
    releaseBlockCoef = blockCoefficient(release, sampleRate, blockLength);
    attackBlockCoef = blockCoefficient(attack, sampleRate, blockLength);
}

// Audio thread.
void FilteredDetector::process(const float* input, uint32_t count) {
    // Allocates only for a block longer than any before; resume() reserves a host block.
    if (workBuffer.size() < count) workBuffer.resize(count);
    float* work = workBuffer.data();
    for (uint32_t k = 0; k < count; ++k) work[k] = input[k];

    // Each section filters the whole block before the next starts. Blocks reach this point from
    // a signed frame count, so count fits the sections' signed count.
    for (CFxRbjFilter& section : sections) section.process(work, static_cast<int32_t>(count));

    const float attackCoef = attackBlockCoef;  // read once per block: a concurrent setTimes
    const float releaseCoef = releaseBlockCoef;  // gives either the old or the new value
    const uint64_t length = blockLength ? blockLength : 1;
    for (uint64_t start = 0; start < count; start += length) {
        const uint32_t m = static_cast<uint32_t>(count - start < length ? count - start : length);
        float sum = 0.0f;
        for (uint32_t k = 0; k < m; ++k) sum += work[start + k] * work[start + k];
        smoothBlock(sum, m, attackCoef, releaseCoef);
    }
    restartIfNotFinite();
}

// Audio thread: one RMS block of m samples whose squares add up to sum.
void FilteredDetector::smoothBlock(float sum, uint32_t m, float attackCoef, float releaseCoef) {
    const float rms = std::sqrt(sum / static_cast<float>(m));
    const float coef = rms > level ? attackCoef : releaseCoef;
    level = (rms - level) * coef + level;
    if (level < 1e-20f) level = 0.0f;
}

// Audio thread, at the end of a block: a detector that a non-finite or overflowing signal left
// without a finite state starts again from silence, so no meter stays stuck.
void FilteredDetector::restartIfNotFinite() {
    bool healthy = std::isfinite(level);
    for (const CFxRbjFilter& section : sections) healthy = healthy && finite(section);
    if (!healthy) {
        for (CFxRbjFilter& section : sections) section.x1 = section.x2 = section.y1 = section.y2 = 0.0f;
        level = 0.0f;
    }
}
