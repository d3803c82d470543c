// The fixed scenario on the engine, in-process: every output sample, every band level after each
// block and every meter value the block pushed. The Linux and the Windows builds both give this
// digest, so the design-time math and the processing agree bit for bit between the systems.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "tests/engine/EffectTestSupport.h"
#include "tests/support/FixedScenario.h"

namespace {

using lumetra::test::Digest;

TEST(SameNumbers, FixedScenarioGivesTheDigestOfBothSystems) {
    lumetra::test::RecordingEffect effect;
    Digest digest;
    std::vector<float> outLeft, outRight;
    lumetra::test::runScenario(
        [&](float rate) {
            effect.suspend();
            effect.setSampleRate(rate);
            effect.setBlockSize(1000);
            effect.resume();
        },
        [&](int32_t index, float value) { effect.setParameter(index, value); },
        [&](float* left, float* right, int32_t frames) {
            outLeft.assign(static_cast<size_t>(frames), 0.0f);
            outRight.assign(static_cast<size_t>(frames), 0.0f);
            float* in[2] = {left, right};
            float* out[2] = {outLeft.data(), outRight.data()};
            effect.calls.clear();
            effect.processReplacing(in, out, frames);
            digest.add(outLeft);
            digest.add(outRight);
            digest.add(effect.meters());
            for (int band = 0; band < 32; ++band) digest.add(effect.engine.level(band));
        });
    EXPECT_EQ(digest.value, 0xc80437848258bb3aull) << std::hex << digest.value;
}

}  // namespace
