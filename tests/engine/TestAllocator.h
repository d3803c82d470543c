// A minimal counting allocator for the engine suites: replaces the global operator new (every
// form) and can be told to fail large requests the way a vector's growth fails. Compiled out
// under the sanitizers, which bring their own allocator; kActive says whether it is in.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumetra::test {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAllocatorActive = false;
#else
constexpr bool kAllocatorActive = true;
#endif

// Counts allocations made while it lives (all threads).
class AllocationCount {
public:
    AllocationCount();
    ~AllocationCount();
    int64_t allocations() const;
};

// While it lives, every request of at least minBytes throws std::bad_alloc.
class FailLargeAllocations {
public:
    explicit FailLargeAllocations(size_t minBytes);
    ~FailLargeAllocations();
};

}  // namespace lumetra::test
