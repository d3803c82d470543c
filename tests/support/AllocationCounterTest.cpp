// The counting allocator itself: it must see operator new and the C allocator, keep threads
// apart, and fail exactly the requests it was told to.
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/AllocationCounter.h"

namespace {

using lumetra::test::AllocationCounter;

TEST(AllocationCounter, SeesNewAndMallocOnThisThreadOnly) {
    if (!AllocationCounter::kActive) GTEST_SKIP() << "compiled out under the sanitizers";
    AllocationCounter counter;
    counter.start();
    auto owned = std::make_unique<int[]>(100);
    void* block = std::malloc(10);
    block = std::realloc(block, 100000);
    std::free(block);
    owned.reset();
    counter.stop();
    EXPECT_EQ(counter.allocations(), 3);
    EXPECT_EQ(counter.outstanding(), 0);

    counter.start();
    std::thread([] {
        for (int i = 0; i < 100; ++i) std::vector<int> other(1000);
    }).join();
    counter.stop();
    EXPECT_LT(counter.allocations(), 100);  // only std::thread's own state is ours
}

TEST(AllocationCounter, FailsExactlyTheArmedRequests) {
    if (!AllocationCounter::kActive) GTEST_SKIP() << "compiled out under the sanitizers";
    AllocationCounter counter;
    counter.start();
    AllocationCounter::failNext(2, 1);
    void* first = std::malloc(16);
    void* second = std::malloc(16);
    EXPECT_THROW((void)std::make_unique<int[]>(4), std::bad_alloc);
    void* fourth = std::malloc(16);
    EXPECT_EQ(AllocationCounter::failuresPending(), 0);
    counter.stop();
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(fourth, nullptr);
    std::free(first);
    std::free(fourth);
    EXPECT_EQ(counter.failures(), 2);
    AllocationCounter::stopFailing();
}

}  // namespace
