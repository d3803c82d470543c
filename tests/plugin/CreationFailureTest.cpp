// The module's entry when memory runs out: every allocation that creation makes is failed in
// turn; each time the entry throws nothing and leaves nothing behind: it gives null, or an effect
// that survived the failure and releases everything when closed.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "platform/vst24.h"
#include "tests/support/AllocationCounter.h"

namespace {

using lumetra::test::AllocationCounter;

// A host that allocates nothing itself, so that every counted request is the module's.
VstIntPtr plainHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

TEST(Creation, EachFailedAllocationGivesNullAndLeavesNothingBehind) {
    if (!AllocationCounter::kActive) GTEST_SKIP() << "the counting allocator is compiled out under the sanitizers";
    void* module = dlopen(LUMETRA_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto entry = reinterpret_cast<VstPluginMainProc>(dlsym(module, "VSTPluginMain"));
    ASSERT_NE(entry, nullptr);

    // Once without failures: warms up whatever the runtime sets up on first use.
    AEffect* warm = entry(plainHost);
    ASSERT_NE(warm, nullptr);
    warm->dispatcher(warm, effClose, 0, 0, nullptr, 0.0f);
    // And once failing at once: the first exception this thread raises in the module sets up the
    // module's thread-local block, which lives as long as the thread.
    AllocationCounter::failNext(1, 0);
    EXPECT_EQ(entry(plainHost), nullptr);
    AllocationCounter::stopFailing();

    AllocationCounter counter;
    int64_t failedAt = 0;
    int madeDespiteFailure = 0;
    for (; failedAt < 100000; ++failedAt) {
        SCOPED_TRACE(failedAt);
        counter.start();
        AllocationCounter::failNext(1, failedAt);
        AEffect* effect = entry(plainHost);
        const bool failureHappened = AllocationCounter::failuresPending() == 0;
        AllocationCounter::stopFailing();
        if (!failureHappened) {  // creation needs fewer requests than that: it succeeded
            ASSERT_NE(effect, nullptr);
            EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
            counter.stop();
            EXPECT_EQ(counter.outstanding(), 0);
            break;
        }
        // Either nothing was made, or the failure was one the effect carries on without: the
        // constructor's resume() reserving its work buffers, which a later resume() retries.
        if (effect != nullptr) {
            ++madeDespiteFailure;
            EXPECT_EQ(effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f), 1);
        }
        counter.stop();
        EXPECT_EQ(counter.outstanding(), 0);
    }
    EXPECT_GT(failedAt, 0);  // creation does allocate, so the loop did fail something
    EXPECT_LT(madeDespiteFailure, failedAt) << "the objects themselves cannot be made without memory";
    dlclose(module);
}

}  // namespace
