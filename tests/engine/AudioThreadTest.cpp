// What the audio thread may not do: allocate in the steady state, or throw when it cannot.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

#include "tests/engine/EffectTestSupport.h"
#include "tests/engine/EngineSignals.h"
#include "tests/engine/TestAllocator.h"

namespace {

using lumetra::test::StereoBlock;

TEST(AudioThread, SteadyStateAllocatesNothing) {
    if (!lumetra::test::kAllocatorActive) GTEST_SKIP() << "the sanitizers bring their own allocator";
    const std::vector<float> noise = lumetra::test::whiteNoise(8192);
    std::vector<float> outLeft(8192), outRight(8192);
    const int sizes[] = {1, 17, 32, 64, 128, 256, 441, 512, 1024, 8192};
    for (float rate : {44100.0f, 48000.0f, 96000.0f}) {
        SCOPED_TRACE(rate);
        ADelay effect(nullptr);
        effect.setSampleRate(rate);
        effect.resume();
        float* in[2] = {const_cast<float*>(noise.data()), const_cast<float*>(noise.data())};
        float* out[2] = {outLeft.data(), outRight.data()};
        effect.processReplacing(in, out, 8192);  // the longest block grows the work buffers once

        lumetra::test::AllocationCount count;
        for (int round = 0; round < 100; ++round)  // a thousand blocks per rate
            for (int size : sizes) {
                effect.setParameter(lumetra::kDelay, float(round % 11) / 10.0f);
                effect.setParameter(lumetra::kMode, float(round % 3) * 0.4f);
                effect.processReplacing(in, out, size);
            }
        EXPECT_EQ(count.allocations(), 0);
    }
}

TEST(AudioThread, AnnouncedBlockSizeNeedsNoGrowthAtAll) {
    if (!lumetra::test::kAllocatorActive) GTEST_SKIP() << "the sanitizers bring their own allocator";
    ADelay effect(nullptr);
    effect.setBlockSize(4096);
    effect.resume();
    StereoBlock block(lumetra::test::whiteNoise(4096));
    lumetra::test::AllocationCount count;
    block.run(effect);
    EXPECT_EQ(count.allocations(), 0);
}

TEST(AudioThread, FailedGrowthPassesTheBlockThroughUnanalysed) {
    if (!lumetra::test::kAllocatorActive) GTEST_SKIP() << "the sanitizers bring their own allocator";
    const std::vector<float> noise = lumetra::test::whiteNoise(200000);
    for (float delay : {0.0f, 1.0f}) {
        SCOPED_TRACE(delay);
        lumetra::test::RecordingEffect effect;
        effect.setParameter(lumetra::kDelay, delay);
        StereoBlock warm(lumetra::test::sine(1000.0, 44100.0, 4096));
        warm.run(effect);
        const float level = effect.engine.level(18);
        const uint32_t position = effect.engine.ringWritePos;
        effect.calls.clear();
        StereoBlock longBlock(noise);
        {
            lumetra::test::FailLargeAllocations fail(100000);
            EXPECT_NO_THROW(longBlock.run(effect));
        }
        EXPECT_EQ(longBlock.outLeft, noise);
        EXPECT_EQ(longBlock.outRight, noise);
        EXPECT_EQ(effect.engine.level(18), level);  // analysis skipped
        EXPECT_EQ(effect.engine.ringWritePos, position);
        EXPECT_EQ(effect.meters().size(), 32u);
        longBlock.run(effect);  // memory again: analysed
        EXPECT_NE(effect.engine.level(18), level);
    }
}

}  // namespace
