#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "engine/BandBank.h"
#include "tests/engine/EffectTestSupport.h"
#include "tests/engine/EngineSignals.h"

namespace {

using lumetra::test::RecordingEffect;
using lumetra::test::StereoBlock;
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

std::vector<float> analysisOf(const ADelay& effect, size_t n) {
    return {effect.engine.analysisBuffer.begin(), effect.engine.analysisBuffer.begin() + static_cast<std::ptrdiff_t>(n)};
}

TEST(BandBank, FreshEffectHasOneRowFor44100) {
    ADelay effect(nullptr);
    ASSERT_EQ(effect.engine.bank().getBands(), 32);
    for (int j = 0; j < 32; ++j) {
        const FilteredDetector d = effect.engine.detector(j).get();
        EXPECT_EQ(d.centreFrequency, lumetra::bandCentreHz(j));
        EXPECT_EQ(d.sampleRate, 44100.0f);
        EXPECT_EQ(d.level, 0.0f);
        EXPECT_EQ(d.sections.size(), 4u);
    }
    EXPECT_EQ(effect.engine.bankSampleRate, 44100.0f);
    EXPECT_EQ(effect.engine.analysisBuffer.size(), 44100u);
    EXPECT_EQ(effect.engine.delayRing, std::vector<float>(88200, 0.0f));
    EXPECT_EQ(effect.engine.ringWritePos, 0u);
    // Mode 1 at Resp 0: the lowest band's times, already applied.
    EXPECT_NEAR(effect.engine.detector(0).attackTime(), 0.252f, 1e-6f);
    EXPECT_NEAR(effect.engine.detector(0).releaseTime(), 1.4f, 1e-6f);
}

TEST(BandBank, RateReachesTheBankOnlyAtResume) {
    RecordingEffect reference, effect;
    effect.setSampleRate(48000.0f);  // no resume yet: nothing changes
    const std::vector<float> noise = lumetra::test::whiteNoise(4096);
    StereoBlock a(noise), b(noise);
    a.run(reference);
    b.run(effect);
    EXPECT_EQ(effect.meters(), reference.meters());
    EXPECT_EQ(effect.engine.analysisBuffer.size(), 44100u);
    EXPECT_EQ(effect.engine.detector(31).section(0).b0, reference.engine.detector(31).section(0).b0);

    effect.resume();
    EXPECT_EQ(effect.engine.bankSampleRate, 48000.0f);
    EXPECT_EQ(effect.engine.analysisBuffer.size(), 48000u);
    EXPECT_EQ(effect.engine.delayRing, std::vector<float>(96000, 0.0f));
    EXPECT_EQ(effect.engine.ringWritePos, 0u);
    CFxRbjFilter expected;
    expected.designBandPass(lumetra::bandCentreHz(31), 48000.0, FilteredDetector::sectionQuality(lumetra::bandCentreHz(31), 48000.0f));
    for (int j = 0; j < 32; ++j) EXPECT_EQ(effect.engine.level(j), 0.0f);
    EXPECT_EQ(effect.engine.detector(31).section(3).b0, expected.b0);
    EXPECT_EQ(effect.engine.detector(31).section(3).a1, expected.a1);

    effect.setSampleRate(44100.7f);
    effect.resume();
    EXPECT_EQ(effect.engine.analysisBuffer.size(), 44100u);
    EXPECT_EQ(effect.engine.delayRing.size(), 88200u);
}

TEST(BandBank, UnusableRateKeepsTheBankAsBuilt) {
    for (float rate : {0.0f, -44100.0f, kNan, kInf, -kInf, 1e9f}) {
        SCOPED_TRACE(rate);
        RecordingEffect effect;
        effect.setSampleRate(48000.0f);
        effect.resume();
        const std::vector<float> noise = lumetra::test::whiteNoise(512);
        StereoBlock(noise).run(effect);
        effect.setSampleRate(rate);
        effect.resume();
        EXPECT_EQ(effect.engine.bankSampleRate, 48000.0f);
        EXPECT_EQ(effect.engine.analysisBuffer.size(), 48000u);
        EXPECT_EQ(effect.engine.delayRing.size(), 96000u);
        EXPECT_EQ(effect.engine.level(10), 0.0f);  // resume still clears
        for (int j = 0; j < 32; ++j) {
            const lumetra::DetectorView d = effect.engine.detector(j);
            EXPECT_TRUE(std::isfinite(d.section(0).b0) && std::isfinite(d.attackBlockCoef()));
        }
        effect.setParameter(lumetra::kDelay, 1.0f);
        EXPECT_EQ(effect.engine.delaySamples, 14400);  // 0.3 s at the rate the bank runs at
        effect.calls.clear();
        StereoBlock block(lumetra::test::sine(1000.0, 48000.0, 48000));
        block.run(effect);
        EXPECT_GT(effect.engine.level(18), 0.1f);
        for (float v : effect.meters()) EXPECT_TRUE(std::isfinite(v));
    }
}

TEST(BlockProcessing, OutputsEqualInputsInEveryModeAndSetting) {
    std::vector<float> left = lumetra::test::whiteNoise(3000, 1), right = lumetra::test::whiteNoise(3000, 2);
    left[17] = kNan, right[18] = kInf, left[19] = -kInf, right[20] = -0.0f, left[21] = 1e-42f;
    for (float mode : {0.0f, 0.3f, 0.5f, 0.7f, 1.0f, kNan})
        for (float delay : {0.0f, 0.37f, 1.0f, kNan, kInf, -1.0f, 5.0f})
            for (float volume : {0.0f, 0.5f, 1.0f}) {
                SCOPED_TRACE(testing::Message() << mode << " " << delay << " " << volume);
                ADelay effect(nullptr);
                effect.setParameter(lumetra::kMode, mode);
                effect.setParameter(lumetra::kDelay, delay);
                effect.setParameter(lumetra::kVolume, volume);
                effect.setParameter(lumetra::kFeedBack, 0.9f);
                StereoBlock separate(left, right);
                separate.run(effect);
                EXPECT_TRUE(sameBits(separate.outLeft, left));
                EXPECT_TRUE(sameBits(separate.outRight, right));
                // In place: the host's output buffers are its input buffers.
                std::vector<float> l = left, r = right;
                float* io[2] = {l.data(), r.data()};
                effect.processReplacing(io, io, 3000);
                EXPECT_TRUE(sameBits(l, left));
                EXPECT_TRUE(sameBits(r, right));
            }
}

TEST(BlockProcessing, ModeChoosesTheAnalysisSignal) {
    const std::vector<float> left = lumetra::test::whiteNoise(256, 3), right = lumetra::test::whiteNoise(256, 4);
    std::vector<float> sum(256);
    for (size_t k = 0; k < sum.size(); ++k) sum[k] = right[k] + left[k];
    const struct {
        float mode;
        const std::vector<float>& expected;
    } cases[] = {{0.0f, left}, {0.2999f, left}, {0.3f, sum}, {0.6999f, sum}, {0.7f, right}, {1.0f, right}};
    // What the bands measured, against an effect given the expected signal on the left in Mode L.
    const auto levelsOf = [](const ADelay& effect) {
        std::vector<float> levels;
        for (int j = 0; j < 32; ++j) levels.push_back(effect.engine.level(j));
        return levels;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ADelay effect(nullptr), reference(nullptr);
        effect.setParameter(lumetra::kMode, c.mode);
        StereoBlock(left, right).run(effect);
        reference.setParameter(lumetra::kMode, 0.0f);
        StereoBlock(c.expected, right).run(reference);
        EXPECT_TRUE(sameBits(levelsOf(effect), levelsOf(reference)));
        EXPECT_GT(effect.engine.level(31), 0.0f);
    }
}

TEST(BlockProcessing, MonoInModeMReadsSixDecibelsHigher) {
    const std::vector<float> tone = lumetra::test::sine(1000.0, 44100.0, 44100, 0.25);
    float levels[2];
    for (int i = 0; i < 2; ++i) {
        ADelay effect(nullptr);
        effect.setParameter(lumetra::kMode, i == 0 ? 0.0f : 0.5f);
        StereoBlock(tone).run(effect);
        levels[i] = effect.engine.level(18);
    }
    EXPECT_NEAR(20.0f * std::log10(levels[1] / levels[0]), 6.0206f, 0.01f);
}

TEST(BlockProcessing, SineAtABandCentreSettlesNearItsRms) {
    ADelay effect(nullptr);
    effect.setParameter(lumetra::kMode, 0.0f);
    StereoBlock block(lumetra::test::sine(lumetra::bandCentreHz(18), 44100.0, 88200));
    block.run(effect);
    EXPECT_NEAR(effect.engine.level(18), 0.7071f, 0.01f);
    EXPECT_LT(effect.engine.level(15), 0.05f);
    EXPECT_LT(effect.engine.level(21), 0.05f);
}

TEST(AnalysisDelay, HundredSamplesInBlocksOf64) {
    ADelay effect(nullptr);
    effect.setParameter(lumetra::kMode, 0.0f);
    effect.engine.delaySamples = 100;
    std::vector<float> first(64), second(64);
    for (int k = 0; k < 64; ++k) first[k] = float(k + 1), second[k] = float(k + 65);
    StereoBlock(first).run(effect);
    EXPECT_EQ(analysisOf(effect, 64), std::vector<float>(64, 0.0f));
    StereoBlock(second).run(effect);
    const std::vector<float> analysis = analysisOf(effect, 64);
    EXPECT_EQ(std::vector<float>(analysis.begin(), analysis.begin() + 36), std::vector<float>(36, 0.0f));
    EXPECT_EQ(analysis[36], 1.0f);  // input sample 0 of the first block
    EXPECT_EQ(analysis[63], 28.0f);
    EXPECT_EQ(effect.engine.ringWritePos, 128u);
}

TEST(AnalysisDelay, ExactForAnyBlockLengthsAndDelays) {
    std::mt19937 random(11);
    for (int32_t delay : {1, 63, 64, 1000, 13230}) {
        SCOPED_TRACE(delay);
        ADelay effect(nullptr);
        effect.setParameter(lumetra::kMode, 0.0f);
        effect.engine.delaySamples = delay;
        std::vector<float> input, delayed;
        for (int block = 0; block < 120; ++block) {
            const size_t n = std::uniform_int_distribution<size_t>(0, block % 10 == 9 ? 9000 : 700)(random);
            std::vector<float> samples(n);
            for (float& s : samples) s = float(input.size() + 1 + (&s - samples.data()));
            input.insert(input.end(), samples.begin(), samples.end());
            StereoBlock(samples).run(effect);
            const std::vector<float> analysis = analysisOf(effect, n);
            delayed.insert(delayed.end(), analysis.begin(), analysis.end());
        }
        ASSERT_EQ(delayed.size(), input.size());
        for (size_t k = 0; k < delayed.size(); ++k)
            ASSERT_EQ(delayed[k], k < size_t(delay) ? 0.0f : input[k - delay]) << k;
    }
}

TEST(AnalysisDelay, LongBlockGrowsTheRing) {
    ADelay effect(nullptr);
    effect.setParameter(lumetra::kMode, 0.0f);
    effect.setParameter(lumetra::kDelay, 1.0f);  // 13230 samples
    const std::vector<float> noise = lumetra::test::whiteNoise(100000);
    StereoBlock block(noise);
    block.run(effect);
    EXPECT_GE(effect.engine.delayRing.size(), 13230u + 100000u);
    EXPECT_EQ(effect.engine.analysisBuffer[13230], noise[0]);
    EXPECT_TRUE(sameBits(block.outLeft, noise));
}

TEST(MeterPush, ThirtyTwoPackedValuesPerBlockInBandOrder) {
    RecordingEffect effect;
    effect.engine.detector(5).setLevel(1.0f);
    float sample[2] = {0.0f, 0.0f};
    float* channels[2] = {&sample[0], &sample[1]};
    auto emptyBlock = [&] { effect.processReplacing(channels, channels, 0); };
    emptyBlock();  // n = 0: levels stay, meters still go out
    std::vector<float> meters = effect.meters();
    ASSERT_EQ(meters.size(), 32u);
    EXPECT_NEAR(meters[5], 5.33333f, 5e-6f);  // default Volume 0.5: window -40..+20 dB, 0 dB at 2/3
    for (int j = 0; j < 32; ++j) EXPECT_GE(meters[j], float(j));

    effect.setParameter(lumetra::kVolume, 0.0f);
    effect.calls.clear();
    emptyBlock();
    EXPECT_NEAR(effect.meters()[5], 5.16667f, 5e-6f);
    effect.setParameter(lumetra::kVolume, 1.0f);
    effect.calls.clear();
    emptyBlock();
    meters = effect.meters();
    EXPECT_EQ(meters[5], 5.5f);
    EXPECT_EQ(meters[4], 4.0f);
    EXPECT_EQ(effect.getParameter(lumetra::kFeedBack), meters[31]);
    EXPECT_EQ(effect.programs[0].feedBack, meters[31]);
}

TEST(BlockProcessing, RefusedCallsWriteNothing) {
    RecordingEffect effect;
    std::vector<float> in(64, 0.5f), out(64, -7.0f);
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {out.data(), out.data()};
    float* halfNull[2] = {out.data(), nullptr};
    effect.processReplacing(inputs, outputs, -1);
    effect.processReplacing(inputs, outputs, INT32_MIN);
    effect.processReplacing(nullptr, outputs, 64);
    effect.processReplacing(inputs, nullptr, 64);
    effect.processReplacing(inputs, halfNull, 64);
    effect.processReplacing(halfNull, outputs, 64);
    EXPECT_EQ(out, std::vector<float>(64, -7.0f));
    EXPECT_TRUE(effect.meters().empty());
    EXPECT_EQ(effect.engine.ringWritePos, 0u);
}

TEST(BlockProcessing, NonFiniteInputLeavesNoMeterStuck) {
    RecordingEffect effect;
    effect.setParameter(lumetra::kMode, 0.0f);
    std::vector<float> bad = lumetra::test::sine(1000.0, 44100.0, 1024);
    bad[500] = kNan;
    StereoBlock block(bad);
    effect.calls.clear();
    block.run(effect);
    EXPECT_TRUE(sameBits(block.outLeft, bad));
    for (float v : effect.meters()) EXPECT_TRUE(std::isfinite(v));
    StereoBlock(lumetra::test::sine(1000.0, 44100.0, 44100)).run(effect);
    EXPECT_NEAR(effect.engine.level(18), 0.7071f, 0.03f);
}

}  // namespace
