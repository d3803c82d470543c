// The modules' entries when memory runs out: every allocation that creation makes is failed in
// turn; each time the entry throws nothing and leaves nothing behind: it gives null, or an effect
// that survived the failure and releases everything when closed. And the CLAP module's blocks,
// events and all, allocate nothing once its instance is active.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <vector>

#include "host/ClapHost.h"
#include "platform/clap.h"
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

// The CLAP instance: the factory gives null or init false for each failed allocation, nothing
// throws, and destroying what was made gives everything back.
TEST(Creation, ClapInstanceFailingEachAllocationLeavesNothingBehind) {
    if (!AllocationCounter::kActive) GTEST_SKIP() << "the counting allocator is compiled out under the sanitizers";
    void* module = dlopen(LUMETRA_CLAP_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto* entry = static_cast<const clap_plugin_entry_t*>(dlsym(module, "clap_entry"));
    ASSERT_NE(entry, nullptr);
    ASSERT_TRUE(entry->init(LUMETRA_CLAP_MODULE_PATH));
    const auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    ASSERT_NE(factory, nullptr);
    const char* id = factory->get_plugin_descriptor(factory, 0)->id;
    clap_host_t host{};  // offers nothing, allocates nothing
    host.clap_version = CLAP_VERSION;
    host.get_extension = [](const clap_host_t*, const char*) noexcept -> const void* { return nullptr; };
    auto make = [&] {
        const clap_plugin_t* plugin = factory->create_plugin(factory, &host, id);
        const bool ready = plugin && plugin->init(plugin);
        if (plugin) plugin->destroy(plugin);
        return ready;
    };
    ASSERT_TRUE(make());  // warms up what the runtime sets up on first use
    AllocationCounter::failNext(1, 0);
    EXPECT_FALSE(make());
    AllocationCounter::stopFailing();

    AllocationCounter counter;
    int64_t failedAt = 0;
    for (; failedAt < 100000; ++failedAt) {
        SCOPED_TRACE(failedAt);
        counter.start();
        AllocationCounter::failNext(1, failedAt);
        const bool ready = make();
        const bool failureHappened = AllocationCounter::failuresPending() == 0;
        AllocationCounter::stopFailing();
        counter.stop();
        EXPECT_EQ(counter.outstanding(), 0);
        if (!failureHappened) {  // creation needs fewer requests than that: it succeeded
            EXPECT_TRUE(ready);
            break;
        }
    }
    EXPECT_GT(failedAt, 0);
    entry->deinit();
    dlclose(module);
}

TEST(AudioThread, ClapBlocksWithEventsAllocateNothing) {
    if (!AllocationCounter::kActive) GTEST_SKIP() << "the counting allocator is compiled out under the sanitizers";
    lumetra::ClapHost host;
    ASSERT_TRUE(host.load(LUMETRA_CLAP_MODULE_PATH)) << host.error();
    ASSERT_TRUE(host.create());
    ASSERT_TRUE(host.activate(48000.0, 1024));
    std::vector<float> left(1024), right(1024), outLeft(1024), outRight(1024);
    for (size_t i = 0; i < left.size(); ++i) left[i] = right[i] = static_cast<float>(i % 97) / 97.0f - 0.5f;
    lumetra::ClapEventList events;  // each block: every host parameter, Resp included, at its own offset
    events.addValue(17, 3, 0.0);
    events.addValue(400, 4, 1.0);
    events.addValue(400, 0, 0.7);
    events.addValue(1000, 2, 0.2);
    events.addValue(1023, 4, 0.0);
    host.process(left.data(), right.data(), outLeft.data(), outRight.data(), 1024, &events);

    AllocationCounter counter;
    counter.start();
    for (int block = 0; block < 200; ++block) {
        const uint32_t frames = block % 2 ? 1024 : 333;
        host.process(left.data(), right.data(), outLeft.data(), outRight.data(), frames, &events);
        if (block % 50 == 0) host.plugin()->reset(host.plugin());
    }
    counter.stop();
    EXPECT_EQ(counter.allocations(), 0);
}

}  // namespace
