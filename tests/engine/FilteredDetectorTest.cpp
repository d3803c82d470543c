#include "engine/FilteredDetector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/BandBank.h"
#include "tests/engine/EngineSignals.h"

namespace {

// A detector whose cascade is removed, so the RMS blocks see the input itself.
FilteredDetector unfiltered(float attackCoef, float releaseCoef) {
    FilteredDetector d;
    d.setup(0.1f, 0.2f, 44100.0f, 1000.0f, 4);
    d.sections.clear();
    d.attackBlockCoef = attackCoef;
    d.releaseBlockCoef = releaseCoef;
    return d;
}

TEST(FilteredDetector, QualityFactorsAndBlockCoefficients) {
    EXPECT_EQ(FilteredDetector::sectionQuality(1000.0f, 44100.0f), 2.34441996f);
    EXPECT_NEAR(FilteredDetector::sectionQuality(lumetra::bandCentreHz(28), 44100.0f), 1.815f, 5e-4f);
    EXPECT_NEAR(FilteredDetector::sectionQuality(lumetra::bandCentreHz(31), 44100.0f), 0.477f, 5e-4f);
    EXPECT_NEAR(FilteredDetector::sectionQuality(lumetra::bandCentreHz(31), 48000.0f), 0.726f, 5e-4f);

    EXPECT_NEAR(FilteredDetector::blockCoefficient(0.1f, 44100.0f, 128), 0.056397f, 5e-7f);
    EXPECT_NEAR(FilteredDetector::blockCoefficient(0.2f, 44100.0f, 128), 0.028608f, 5e-7f);
    EXPECT_NEAR(FilteredDetector::blockCoefficient(1.0f, 44100.0f, 128), 0.0057893f, 5e-8f);
    EXPECT_EQ(FilteredDetector::blockCoefficient(0.0f, 44100.0f, 128), 1.0f);
    EXPECT_EQ(FilteredDetector::blockCoefficient(-1.0f, 44100.0f, 128), 1.0f);
}

TEST(FilteredDetector, SetupDesignsFourEqualSectionsAndRepeatsCleanly) {
    FilteredDetector d;
    d.setup(0.1f, 0.2f, 44100.0f, 1000.0f, 4);
    ASSERT_EQ(d.sections.size(), 4u);
    EXPECT_EQ(d.sections[0].b0, 0.0293933321f);
    EXPECT_EQ(d.sections[0].a1, -1.92154396f);
    EXPECT_EQ(d.attackBlockCoef, FilteredDetector::blockCoefficient(0.1f, 44100.0f, 128));
    EXPECT_EQ(d.releaseBlockCoef, FilteredDetector::blockCoefficient(0.2f, 44100.0f, 128));

    const std::vector<float> tone = lumetra::test::sine(1000.0, 44100.0, 1000);
    d.process(tone.data(), 1000);
    ASSERT_GT(d.level, 0.0f);
    d.setup(0.1f, 0.2f, 48000.0f, 1000.0f, 4);
    EXPECT_EQ(d.level, 0.0f);
    for (const CFxRbjFilter& s : d.sections) {
        EXPECT_EQ(s.b0, d.sections[0].b0);
        EXPECT_EQ(s.a2, d.sections[0].a2);
        EXPECT_EQ(s.y1, d.sections[0].y1);
        EXPECT_EQ(s.x2, d.sections[0].x2);
    }
}

TEST(FilteredDetector, RmsBlocksAreCutAt128WithAShortLastBlock) {
    FilteredDetector one = unfiltered(1.0f, 1.0f);
    const std::vector<float> half(100, 0.5f);
    one.process(half.data(), 100);
    EXPECT_EQ(one.level, 0.5f);  // divided by 100, not by 128

    // 128 ones, 128 twos, 44 threes: three smoothing steps of one half each.
    FilteredDetector three = unfiltered(0.5f, 0.5f);
    std::vector<float> steps(300, 3.0f);
    std::fill(steps.begin(), steps.begin() + 128, 1.0f);
    std::fill(steps.begin() + 128, steps.begin() + 256, 2.0f);
    three.process(steps.data(), 300);
    EXPECT_EQ(three.level, 2.125f);

    const float before = three.level;
    three.process(steps.data(), 0);
    EXPECT_EQ(three.level, before);
}

TEST(FilteredDetector, AttackOnRiseReleaseOtherwiseAndSnapToZero) {
    FilteredDetector d = unfiltered(1.0f, 0.25f);
    const std::vector<float> loud(128, 1.0f);
    d.process(loud.data(), 128);
    EXPECT_EQ(d.level, 1.0f);
    const std::vector<float> silence(128, 0.0f);
    d.process(silence.data(), 128);
    EXPECT_EQ(d.level, 0.75f);

    d.level = 1.2e-20f;  // one release step takes it below 1e-20: exactly 0
    d.process(silence.data(), 128);
    EXPECT_EQ(d.level, 0.0f);
}

TEST(FilteredDetector, SineAtCentreSettlesNearRmsOfTheTone) {
    FilteredDetector d;
    d.setup(0.1f, 0.2f, 44100.0f, 1000.0f, 4);
    const std::vector<float> tone = lumetra::test::sine(1000.0, 44100.0, 88200);
    d.process(tone.data(), static_cast<uint32_t>(tone.size()));
    EXPECT_NEAR(d.level, 0.7071f, 0.01f);
}

TEST(FilteredDetector, NonFiniteStateStartsAgainFromSilence) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float bad : {nan, inf, -inf, 3e38f}) {
        SCOPED_TRACE(bad);
        FilteredDetector d;
        d.setup(0.1f, 0.2f, 44100.0f, 1000.0f, 4);
        std::vector<float> block = lumetra::test::sine(1000.0, 44100.0, 512);
        block[100] = bad;
        block[101] = bad;  // two at full scale make the RMS overflow
        d.process(block.data(), 512);
        EXPECT_EQ(d.level, 0.0f);
        for (const CFxRbjFilter& s : d.sections) {
            EXPECT_TRUE(std::isfinite(s.y1) && std::isfinite(s.y2) && std::isfinite(s.x1) && std::isfinite(s.x2));
        }
        const std::vector<float> tone = lumetra::test::sine(1000.0, 44100.0, 44100);
        d.process(tone.data(), 44100);
        EXPECT_NEAR(d.level, 0.7071f, 0.02f);  // the meter moves again
    }
}

}  // namespace
