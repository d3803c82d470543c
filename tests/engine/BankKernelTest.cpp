// Every SIMD path of the bank kernel against the plain per-detector path, bit for bit, after
// every call: last-section outputs, all histories, levels and the packed meter values, also
// with the controls, the rate and single bands changed between calls.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "engine/AnalyzerEngine.h"
#include "engine/BandBank.h"
#include "engine/BankKernel.h"
#include "engine/MeterValue.h"
#include "engine/ResponseMode.h"
#include "plugin/ADelay.h"
#include "tests/engine/EffectTestSupport.h"
#include "tests/engine/EngineSignals.h"

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

// A kernel whose lanes hold the row.
std::unique_ptr<BankKernel> loaded(const std::vector<FilteredDetector>& row, KernelPath path) {
    auto kernel = std::make_unique<BankKernel>();
    kernel->setPath(path);
    kernel->setBands(static_cast<int>(row.size()));
    for (size_t j = 0; j < row.size(); ++j) kernel->detector(static_cast<int>(j)).set(row[j]);
    return kernel;
}

void expectSameState(const std::vector<FilteredDetector>& plain, BankKernel& simd) {
    ASSERT_EQ(plain.size(), static_cast<size_t>(simd.getBands()));
    for (size_t j = 0; j < plain.size(); ++j) {
        SCOPED_TRACE(j);
        const lumetra::DetectorView lane = simd.detector(static_cast<int>(j));
        ASSERT_EQ(bits(plain[j].level), bits(lane.level()));
        for (size_t s = 0; s < plain[j].sections.size(); ++s) {
            const CFxRbjFilter& a = plain[j].sections[s];
            const CFxRbjFilter b = lane.section(static_cast<int>(s));
            ASSERT_EQ(bits(a.y1), bits(b.y1)) << "section " << s;
            ASSERT_EQ(bits(a.y2), bits(b.y2)) << "section " << s;
            ASSERT_EQ(bits(a.x1), bits(b.x1)) << "section " << s;
            ASSERT_EQ(bits(a.x2), bits(b.x2)) << "section " << s;
        }
    }
}

void expectSameState(BankKernel& plain, BankKernel& simd) {
    std::vector<FilteredDetector> row;
    for (int j = 0; j < plain.getBands(); ++j) row.push_back(plain.detector(j).get());
    expectSameState(row, simd);
}

std::vector<uint32_t> schedule(uint32_t fixed, size_t total, uint32_t seed, uint32_t longest = 700) {
    std::vector<uint32_t> lengths;
    std::mt19937 random(seed);
    size_t used = 0;
    while (used < total) {
        uint32_t n = fixed ? fixed : static_cast<uint32_t>(random() % (longest + 1));
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
                    const std::unique_ptr<BankKernel> simd = loaded(plain, path);
                    ASSERT_EQ(simd->getPath(), path);
                    std::vector<float> outputs;
                    size_t at = 0;
                    const std::vector<uint32_t> lengths =
                        fixed == 0 && !random ? std::vector<uint32_t>(5, 0u) : schedule(fixed, 6000, 77);
                    for (uint32_t n : lengths) {
                        if (at + n > input.size()) break;
                        outputs.assign(static_cast<size_t>(n) * lumetra::kMaxLanes, 0.0f);
                        for (FilteredDetector& d : plain) d.process(input.data() + at, n);
                        simd->process(input.data() + at, n, outputs.data());
                        for (size_t j = 0; j < plain.size(); ++j)
                            for (uint32_t t = 0; t < n; ++t)
                                ASSERT_EQ(bits(plain[j].workBuffer[t]), bits(outputs[t * lumetra::kMaxLanes + j]))
                                    << "band " << j << " sample " << at + t;
                        expectSameState(plain, *simd);
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
        const std::unique_ptr<BankKernel> simd = loaded(plain, path);
        size_t at = 0;
        for (uint32_t n : schedule(0, 15000, 5)) {
            if (at + n > input.size()) break;
            for (FilteredDetector& d : plain) d.process(input.data() + at, n);
            simd->process(input.data() + at, n);
            expectSameState(plain, *simd);
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
        const std::unique_ptr<BankKernel> simd = loaded(plain, path);
        for (size_t at = 0; at + 512 <= input.size(); at += 512) {
            for (FilteredDetector& d : plain) d.process(input.data() + at, 512);
            simd->process(input.data() + at, 512);
            expectSameState(plain, *simd);
        }
        for (int j = 0; j < 32; ++j) EXPECT_TRUE(std::isfinite(simd->level(j)));

        // A value that is not finite in one history of one band only, written between calls
        // (each history of each section in turn, short calls through the pipeline's edges), and
        // an infinity arriving with the last sample of a call: restarted on both paths alike.
        const float quiet[3] = {0.25f, -0.5f, 0.125f};
        for (int s = 0; s < 4; ++s)
            for (int h = 0; h < 4; ++h) {
                CFxRbjFilter& f = plain[5].sections[static_cast<size_t>(s)];
                float* history[4] = {&f.x1, &f.x2, &f.y1, &f.y2};
                *history[h] = h % 2 ? NAN : -INFINITY;
                simd->detector(5).set(plain[5]);
                const uint32_t n = 1 + static_cast<uint32_t>(h % 3);
                for (FilteredDetector& d : plain) d.process(quiet, n);
                simd->process(quiet, n);
                expectSameState(plain, *simd);
                ASSERT_EQ(simd->level(5), 0.0f);
            }
        const float last[2] = {0.5f, INFINITY};
        for (FilteredDetector& d : plain) d.process(last, 2);
        simd->process(last, 2);
        expectSameState(plain, *simd);
    }
}

TEST(BankKernel, PlainPathIsEachDetectorsOwnProcess) {
    BankKernel kernel;
    kernel.setPath(KernelPath::Plain);
    EXPECT_EQ(kernel.getPath(), KernelPath::Plain);
    kernel.setPath(lumetra::bestKernelPath());
    EXPECT_EQ(kernel.getPath(), lumetra::bestKernelPath());

    // The lanes loaded into detectors and stored back: nothing lost on the way, in either direction.
    const std::vector<float> input = makeSignal(Signal::Sines, 3000, 48000.0);
    std::vector<FilteredDetector> plain = makeRow(48000.0f, 0.1f, 0.2f);
    const std::unique_ptr<BankKernel> lanes = loaded(plain, KernelPath::Plain);
    for (uint32_t n : {256u, 0u, 1000u, 77u}) {
        for (FilteredDetector& d : plain) d.process(input.data(), n);
        ASSERT_TRUE(lanes->grow(n));
        lanes->process(input.data(), n);
        expectSameState(plain, *lanes);
    }
    for (size_t j = 0; j < plain.size(); ++j) {
        const FilteredDetector back = lanes->detector(static_cast<int>(j)).get();
        EXPECT_EQ(bits(back.attackBlockCoef), bits(plain[j].attackBlockCoef));
        EXPECT_EQ(bits(back.releaseBlockCoef), bits(plain[j].releaseBlockCoef));
        EXPECT_EQ(back.centreFrequency, plain[j].centreFrequency);
        EXPECT_EQ(back.sampleRate, plain[j].sampleRate);
    }
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
            plain->engine.bank().setPath(KernelPath::Plain);
            simd->engine.bank().setPath(path);
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
                expectSameState(plain->engine.bank(), simd->engine.bank());
                plain->calls.clear();
                simd->calls.clear();
                at += n;
            }
        }
    }
}

// The engine alone, with no effect and no host: a 1 kHz tone lands in its band at its RMS, and
// every band holds exactly what a row of plain detectors set up the same way holds.
TEST(AnalyzerEngine, AloneMeasuresAToneLikeThePlainDetectors) {
    constexpr float kRate = 48000.0f;
    lumetra::AnalyzerEngine engine;
    engine.prepare(kRate, 480);
    engine.setMode(0.0f);
    engine.setResp(0.0f);
    std::vector<FilteredDetector> plain(32);
    for (int j = 0; j < 32; ++j) {
        plain[j].setup(1.0f, 1.0f, kRate, lumetra::bandCentreHz(j), 4);
        const lumetra::ResponseTimes times = lumetra::responseTimes(0.0f, plain[j].centreFrequency);
        plain[j].setTimes(times.attackSec, times.releaseSec);
    }
    const std::vector<float> tone = lumetra::test::sine(1000.0, kRate, 48000, 0.5);
    const std::vector<float> silence(480, 0.0f);
    for (size_t at = 0; at < tone.size(); at += 480) {
        const float* in[2] = {tone.data() + at, silence.data()};
        ASSERT_TRUE(engine.process(in, 2, 480));
        for (FilteredDetector& d : plain) d.process(tone.data() + at, 480);
    }
    expectSameState(plain, engine.bank());
    EXPECT_NEAR(engine.level(18), 0.5f / std::sqrt(2.0f), 0.01f);
    EXPECT_LT(engine.level(15), 0.02f);
    EXPECT_LT(engine.level(21), 0.02f);
    EXPECT_EQ(engine.centreHz(18), lumetra::bandCentreHz(18));
    for (int j = 0; j < 32; ++j) EXPECT_EQ(engine.meterFraction(j), lumetra::meterFraction(engine.level(j), 0.0f));
}

// Two engines, one on the plain path, one on each SIMD path, through one random schedule of
// blocks of 0 to 8192 samples with everything a host or user can change in between: mode,
// response mode, delay, volume, a new rate with resume, a band inspected, reset or rewritten.
TEST(AnalyzerEngine, EveryPathMatchesThePlainOneAcrossChangesBetweenCalls) {
    const std::vector<float> left = makeSignal(Signal::Noise, 100000, 48000.0);
    const std::vector<float> right = makeSignal(Signal::ToneThenSilence, 100000, 48000.0);
    const float rates[] = {44100.0f, 48000.0f, 96000.0f, 32000.0f};
    for (KernelPath path : kSimdPaths) {
        if (!lumetra::kernelPathSupported(path)) continue;
        SCOPED_TRACE(lumetra::kernelPathName(path));
        auto plain = std::make_unique<lumetra::AnalyzerEngine>();
        auto simd = std::make_unique<lumetra::AnalyzerEngine>();
        plain->bank().setPath(KernelPath::Plain);
        simd->bank().setPath(path);
        std::mt19937 random(2024);
        float rate = 44100.0f;
        for (lumetra::AnalyzerEngine* e : {plain.get(), simd.get()}) e->prepare(rate, 512);
        size_t at = 0;
        for (int step = 0; step < 120; ++step) {
            SCOPED_TRACE(step);
            const uint32_t change = static_cast<uint32_t>(random() % 12);
            const float value = static_cast<float>(random() % 1001) / 1000.0f;
            const int band = static_cast<int>(random() % 32);
            for (lumetra::AnalyzerEngine* e : {plain.get(), simd.get()}) {
                switch (change) {
                case 0: e->setMode(value); break;
                case 1: e->setResp(value); break;
                case 2: e->setDelay(value, rate); break;
                case 3: e->setVolume(value); break;
                case 4: e->prepare(rates[step % 4], static_cast<int32_t>(value * 4096)); break;
                case 5: e->detector(band).setLevel(0.0f); break;
                case 6: e->detector(band).set(e->detector(band).get()); break;
                case 7: e->detector(band).setTimes(value, 1.0f - value); break;
                default: break;
                }
            }
            if (change == 4) rate = rates[step % 4];
            const uint32_t n = random() % 8 == 0 ? 0 : static_cast<uint32_t>(random() % 8193);
            if (at + n > left.size()) at = 0;
            const float* in[2] = {left.data() + at, right.data() + at};
            ASSERT_TRUE(plain->process(in, 2, n));
            ASSERT_TRUE(simd->process(in, 2, n));
            at += n;
            expectSameState(plain->bank(), simd->bank());
            ASSERT_EQ(plain->ringWritePos, simd->ringWritePos);
            for (int j = 0; j < 32; ++j)
                ASSERT_EQ(bits(plain->meterFraction(j)), bits(simd->meterFraction(j))) << "band " << j;
        }
    }
}
