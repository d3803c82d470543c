#include "engine/CFxRbjFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/engine/EngineSignals.h"

namespace {

using lumetra::test::sine;

CFxRbjFilter designed() {
    CFxRbjFilter f;
    f.designBandPass(1000.0, 44100.0, 2.34441996);
    return f;
}

std::vector<float> filterInBlocks(const std::vector<float>& input, size_t block) {
    CFxRbjFilter f = designed();
    std::vector<float> out = input;
    for (size_t start = 0; start < out.size(); start += block)
        f.process(out.data() + start, static_cast<int32_t>(std::min(block, out.size() - start)));
    return out;
}

// The recurrence one sample at a time, written out independently of the four-sample loop.
std::vector<float> plainRecurrence(const std::vector<float>& input) {
    const CFxRbjFilter f = designed();
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    std::vector<float> out;
    for (float x : input) {
        float y = f.b0 * x;
        y = y + f.b1 * x1;
        y = y + f.b2 * x2;
        y = y - f.a1 * y1;
        y = y - f.a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        out.push_back(y);
    }
    return out;
}

TEST(CFxRbjFilter, DesignGivesTheWorkedCoefficients) {
    const CFxRbjFilter f = designed();
    EXPECT_EQ(f.b0, 0.0293933321f);
    EXPECT_EQ(f.b1, 0.0f);
    EXPECT_EQ(f.b2, -0.0293933321f);
    EXPECT_EQ(f.a1, -1.92154396f);
    EXPECT_EQ(f.a2, 0.94121331f);
}

TEST(CFxRbjFilter, FourSampleLoopEqualsThePlainRecurrence) {
    const std::vector<float> input = lumetra::test::whiteNoise(1027);
    EXPECT_EQ(filterInBlocks(input, input.size()), plainRecurrence(input));
}

TEST(CFxRbjFilter, AnyBlockSplitGivesTheSameBits) {
    const std::vector<float> input = sine(1000.0, 44100.0, 4096);
    const std::vector<float> whole = filterInBlocks(input, input.size());
    for (size_t block : {1, 2, 3, 4, 5, 7, 8, 127, 1000}) {
        SCOPED_TRACE(block);
        EXPECT_EQ(filterInBlocks(input, block), whole);  // exact: same operations, same order
    }
}

TEST(CFxRbjFilter, UnityGainAtCentreAndDcDecays) {
    CFxRbjFilter f = designed();
    std::vector<float> tone = sine(1000.0, 44100.0, 44100);
    f.process(tone.data(), static_cast<int32_t>(tone.size()));
    float peak = 0.0f;
    for (size_t i = tone.size() - 441; i < tone.size(); ++i) peak = std::max(peak, std::fabs(tone[i]));
    EXPECT_NEAR(peak, 1.0f, 1e-3f);

    CFxRbjFilter g = designed();
    std::vector<float> dc(44100, 1.0f);
    g.process(dc.data(), static_cast<int32_t>(dc.size()));
    EXPECT_LT(std::fabs(dc.back()), 1e-6f);
}

TEST(CFxRbjFilter, OutputHistoriesFlushOncePerBlockOnly) {
    CFxRbjFilter f = designed();
    std::vector<float> buffer = sine(1000.0, 44100.0, 256);
    f.process(buffer.data(), 256);
    std::vector<float> silence(20000, 0.0f);
    f.process(silence.data(), static_cast<int32_t>(silence.size()));
    EXPECT_EQ(f.y1, 0.0f);
    EXPECT_EQ(f.y2, 0.0f);
    EXPECT_NE(silence[silence.size() / 2], 0.0f);  // no flush inside the loop

    // count <= 0: buffer untouched, x histories untouched, y flushed strictly below 1e-20.
    CFxRbjFilter g = designed();
    g.x1 = 1e-30f, g.x2 = -1e-30f, g.y1 = 1e-20f, g.y2 = -9e-21f;
    float sample = 0.25f;
    g.process(&sample, 0);
    g.process(&sample, -3);
    EXPECT_EQ(sample, 0.25f);
    EXPECT_EQ(g.x1, 1e-30f);
    EXPECT_EQ(g.x2, -1e-30f);
    EXPECT_EQ(g.y1, 1e-20f);
    EXPECT_EQ(g.y2, 0.0f);
}

}  // namespace
