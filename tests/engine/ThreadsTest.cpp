// A parameter set on one thread while another processes: a defined program (ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "plugin/ADelay.h"
#include "tests/engine/EngineSignals.h"

namespace {

// The host's UI thread changes everything a user can while its audio thread processes.
TEST(Threads, ParametersAndProgramsChangeWhileProcessing) {
    ADelay effect(nullptr);
    const std::vector<float> noise = lumetra::test::whiteNoise(256);
    std::atomic<bool> done{false};
    std::atomic<int> mismatches{0};
    std::thread audio([&] {
        std::vector<float> outLeft(256), outRight(256);
        float* in[2] = {const_cast<float*>(noise.data()), const_cast<float*>(noise.data())};
        float* out[2] = {outLeft.data(), outRight.data()};
        for (int block = 0; block < 3000; ++block) {
            effect.processReplacing(in, out, 256);
            if (std::memcmp(outLeft.data(), noise.data(), 256 * sizeof(float)) != 0) ++mismatches;
        }
        done = true;
    });
    char text[32];
    for (int i = 0; !done; ++i) {
        effect.setParameter(lumetra::kResp, float(i % 3) * 0.4f);
        effect.setParameter(lumetra::kDelay, float(i % 7) / 6.0f);
        effect.setParameter(lumetra::kVolume, float(i % 5) / 4.0f);
        effect.setParameter(lumetra::kMode, float(i % 4) / 3.0f);
        effect.getParameter(lumetra::kFeedBack);
        effect.getParameterDisplay(lumetra::kDelay, text);
        if (i % 10 == 0) {
            effect.setProgram(i / 10 % lumetra::kNumPrograms);
            effect.getProgramName(text);
        }
    }
    audio.join();
    EXPECT_EQ(mismatches, 0);
    const float feedBack = effect.getParameter(lumetra::kFeedBack);
    EXPECT_TRUE(feedBack >= 0.0f && feedBack <= 31.5f);
}

}  // namespace
