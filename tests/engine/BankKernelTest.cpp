// Every SIMD path of the bank kernel against the plain per-detector path, bit for bit, after
// every call: last-section outputs, all histories, levels and the packed meter values.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "engine/BankKernel.h"
#include "plugin/ADelay.h"
#include "tests/engine/EffectTestSupport.h"

using lumetra::BankKernel;
using lumetra::KernelPath;

namespace {

const KernelPath kSimdPaths[] = {KernelPath::Sse2, KernelPath::Avx2, KernelPath::Avx512};

uint32_t bits(float x) { return std::bit_cast<uint32_t>(x); }

// The signals the paths must agree on; each long enough for the longest schedule.
enum class Signal { Noise, Sines, Silence, ToneThenSilence, ZerosAndTiny };
const Signal kSignals[] = {Signal::Noise, Signal::Sines, Signal::Silence, Signal::ToneThenSilence,
                           Signal::ZerosAndTiny};

std::vector<float> makeSignal(Signal kind, size_t length, double rate) {
    std::vector<float> x(length, 0.0f);
    std::mt19937 random(1234);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    for (size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        switch (kind) {
        case Signal::Noise: x[i] = uniform(random); break;
        case Signal::Sines:
            x[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 1000 * t) + 0.3 * std::sin(2 * std::numbers::pi * 63 * t) +
                                      0.1 * std::sin(2 * std::numbers::pi * 15000 * t));
            break;
        case Signal::Silence: break;
        case Signal::ToneThenSilence:
            x[i] = i < length / 4 ? static_cast<float>(0.8 * std::sin(2 * std::numbers::pi * 440 * t)) : 0.0f;
            break;
        case Signal::ZerosAndTiny: {
            const float choices[] = {0.0f, -0.0f, 1e-21f, -1e-21f, 1e-38f, -1e-45f, 1e-20f, 3e-25f};
            x[i] = (i / 7) % 3 == 0 ? choices[random() % 8] : (i % 500 < 20 ? uniform(random) * 1e-3f : 0.0f);
            break;
        }
        }
    }
    return x;
}

std::vector<FilteredDetector> makeRow(float rate, float attack, float release) {
    std::vector<FilteredDetector> row(32);
    for (int j = 0; j < 32; ++j) {
        row[j].setup(1.0f, 1.0f, rate, std::pow(10.0f, static_cast<float>(j + 12) * 0.1f), 4);
        row[j].setTimes(attack * (1.0f + 0.01f * j), release * (1.0f + 0.02f * j));
    }
    return row;
}

void expectSameState(const std::vector<FilteredDetector>& plain, const std::vector<FilteredDetector>& simd) {
    ASSERT_EQ(plain.size(), simd.size());
    for (size_t j = 0; j < plain.size(); ++j) {
        SCOPED_TRACE(j);
        ASSERT_EQ(bits(plain[j].level), bits(simd[j].level));
        for (size_t s = 0; s < plain[j].sections.size(); ++s) {
            const CFxRbjFilter& a = plain[j].sections[s];
            const CFxRbjFilter& b = simd[j].sections[s];
            ASSERT_EQ(bits(a.y1), bits(b.y1)) << "section " << s;
            ASSERT_EQ(bits(a.y2), bits(b.y2)) << "section " << s;
            ASSERT_EQ(bits(a.x1), bits(b.x1)) << "section " << s;
            ASSERT_EQ(bits(a.x2), bits(b.x2)) << "section " << s;
        }
    }
}

std::vector<uint32_t> schedule(uint32_t fixed, size_t total, uint32_t seed) {
    std::vector<uint32_t> lengths;
    std::mt19937 random(seed);
    size_t used = 0;
    while (used < total) {
        uint32_t n = fixed ? fixed : static_cast<uint32_t>(random() % 700);
        if (fixed == 0 && random() % 10 == 0) n = 0;
        lengths.push_back(n);
        used += n ? n : 1;
    }
    return lengths;
}

}  // namespace

TEST(BankKernel, EveryPathMatchesThePlainDetectorsBitForBit) {
    const float rates[] = {44100.0f, 48000.0f, 96000.0f};
    const uint32_t blockLengths[] = {0, 1, 3, 64, 127, 128, 300, 512, 4096, 0 /* random schedule */};
    for (KernelPath path : kSimdPaths) {
        if (!lumetra::kernelPathSupported(path)) continue;
        SCOPED_TRACE(lumetra::kernelPathName(path));
        for (float rate : rates)
            for (Signal signal : kSignals) {
                const std::vector<float> input = makeSignal(signal, 12000, rate);
                for (size_t b = 0; b < std::size(blockLengths); ++b) {
                    const uint32_t fixed = blockLengths[b];
                    const bool random = b + 1 == std::size(blockLengths);
                    SCOPED_TRACE(testing::Message() << "rate " << rate << " signal " << static_cast<int>(signal)
                                                    << " block " << (random ? -1 : static_cast<int>(fixed)));
                    std::vector<FilteredDetector> plain = makeRow(rate, 0.15f, 0.3f);
                    std::vector<FilteredDetector> simd = plain;
                    BankKernel kernel;
                    kernel.setPath(path);
                    ASSERT_EQ(kernel.getPath(), path);
                    std::vector<float> outputs;
                    size_t at = 0;
                    const std::vector<uint32_t> lengths =
                        fixed == 0 && !random ? std::vector<uint32_t>(5, 0u) : schedule(fixed, 6000, 77);
                    for (uint32_t n : lengths) {
                        if (at + n > input.size()) break;
                        outputs.assign(static_cast<size_t>(n) * lumetra::kMaxLanes, 0.0f);
                        for (FilteredDetector& d : plain) d.process(input.data() + at, n);
                        ASSERT_TRUE(kernel.grow(n));
                        kernel.process(simd, input.data() + at, n, outputs.data());
                        for (size_t j = 0; j < plain.size(); ++j)
                            for (uint32_t t = 0; t < n; ++t)
                                ASSERT_EQ(bits(plain[j].workBuffer[t]), bits(outputs[t * lumetra::kMaxLanes + j]))
                                    << "band " << j << " sample " << at + t;
                        expectSameState(plain, simd);
                        at += n;
                    }
                }
            }
    }
}

TEST(BankKernel, FastLoopWithoutOutputCaptureKeepsTheSameState) {
    // The production call (no output capture) must leave exactly the state the capturing call does.
    const std::vector<float> input = makeSignal(Signal::Noise, 20000, 44100.0);
    for (KernelPath path : kSimdPaths) {
        if (!lumetra::kernelPathSupported(path)) continue;
        SCOPED_TRACE(lumetra::kernelPathName(path));
        std::vector<FilteredDetector> plain = makeRow(44100.0f, 0.1f, 0.2f);
        std::vector<FilteredDetector> simd = plain;
        BankKernel kernel;
        kernel.setPath(path);
        kernel.reserve(15000);
        size_t at = 0;
        for (uint32_t n : schedule(0, 15000, 5)) {
            if (at + n > input.size()) break;
            for (FilteredDetector& d : plain) d.process(input.data() + at, n);
            kernel.process(simd, input.data() + at, n);
            expectSameState(plain, simd);
            at += n;
        }
    }
}

TEST(BankKernel, NonFiniteInputMatchesAndRecovers) {
    std::vector<float> input = makeSignal(Signal::Noise, 4096, 48000.0);
    input[100] = INFINITY;
    input[700] = NAN;
    input[1500] = 3e38f;
    for (KernelPath path : kSimdPaths) {
        if (!lumetra::kernelPathSupported(path)) continue;
        SCOPED_TRACE(lumetra::kernelPathName(path));
        std::vector<FilteredDetector> plain = makeRow(48000.0f, 0.1f, 0.2f);
        std::vector<FilteredDetector> simd = plain;
        BankKernel kernel;
        kernel.setPath(path);
        kernel.reserve(512);
        for (size_t at = 0; at + 512 <= input.size(); at += 512) {
            for (FilteredDetector& d : plain) d.process(input.data() + at, 512);
            kernel.process(simd, input.data() + at, 512);
            expectSameState(plain, simd);
        }
        for (const FilteredDetector& d : simd) EXPECT_TRUE(std::isfinite(d.level));
    }
}

TEST(BankKernel, UnsupportedOrUnsetUpRowsFallBackToPlain) {
    BankKernel kernel;
    kernel.setPath(KernelPath::Plain);
    EXPECT_EQ(kernel.getPath(), KernelPath::Plain);
    kernel.setPath(lumetra::bestKernelPath());
    EXPECT_EQ(kernel.getPath(), lumetra::bestKernelPath());
    // Detectors that were never set up have no sections: the kernel leaves them to the plain path.
    std::vector<FilteredDetector> row(3);
    const std::vector<float> input(256, 0.5f);
    kernel.process(row, input.data(), 256);
    for (const FilteredDetector& d : row) EXPECT_EQ(d.level, 0.0f);

    // A block longer than the scratch (nothing reserved) takes the plain path, allocating
    // nothing in the kernel, with the same result.
    std::vector<FilteredDetector> plain = makeRow(48000.0f, 0.1f, 0.2f);
    std::vector<FilteredDetector> simd = plain;
    BankKernel fresh;
    fresh.process(simd, input.data(), 256);
    for (FilteredDetector& d : plain) d.process(input.data(), 256);
    expectSameState(plain, simd);
}

using lumetra::test::RecordingEffect;

TEST(BankKernel, WholeEffectMetersMatchThePlainPathInEveryModeWithDelay) {
    for (KernelPath path : kSimdPaths) {
        if (!lumetra::kernelPathSupported(path)) continue;
        SCOPED_TRACE(lumetra::kernelPathName(path));
        for (float resp : {0.0f, 0.5f, 1.0f}) {
            SCOPED_TRACE(resp);
            auto plain = std::make_unique<RecordingEffect>();
            auto simd = std::make_unique<RecordingEffect>();
            plain->kernel.setPath(KernelPath::Plain);
            simd->kernel.setPath(path);
            for (RecordingEffect* e : {plain.get(), simd.get()}) {
                e->setSampleRate(48000.0f);
                e->resume();
                e->setParameter(lumetra::kResp, resp);
                e->setParameter(lumetra::kDelay, 0.37f);
                e->setParameter(lumetra::kMode, 0.5f);
                e->setParameter(lumetra::kVolume, 0.8f);
                e->calls.clear();
            }
            std::vector<float> left = makeSignal(Signal::Noise, 48000, 48000.0);
            std::vector<float> right = makeSignal(Signal::Sines, 48000, 48000.0);
            std::vector<float> outL(4096), outR(4096);
            size_t at = 0;
            for (uint32_t n : schedule(0, 40000, 9)) {
                if (at + n > left.size()) break;
                float* in[2] = {left.data() + at, right.data() + at};
                float* out[2] = {outL.data(), outR.data()};
                plain->processReplacing(in, out, static_cast<VstInt32>(n));
                simd->processReplacing(in, out, static_cast<VstInt32>(n));
                const std::vector<float> plainMeters = plain->meters(), simdMeters = simd->meters();
                ASSERT_EQ(plainMeters.size(), simdMeters.size());
                for (size_t k = 0; k < plainMeters.size(); ++k)
                    ASSERT_EQ(bits(plainMeters[k]), bits(simdMeters[k])) << "value " << k << " at " << at;
                expectSameState(plain->bank[0], simd->bank[0]);
                plain->calls.clear();
                simd->calls.clear();
                at += n;
            }
        }
    }
}
