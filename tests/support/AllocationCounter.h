// Test support: counts the heap requests this thread makes and can make the next ones fail.
// It interposes the C allocator (malloc, calloc, realloc, free and the aligned forms), so it sees
// operator new too, including the one of a module that links its own static C++ runtime: a
// dlopen'ed plug-in resolves malloc to the test executable first.
// The sanitizers bring their own allocator: under them it is compiled out, kActive is false and
// every count stays 0; tests that depend on it skip.
#pragma once

#include <cstdint>

namespace lumetra::test {

class AllocationCounter {
public:
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    static constexpr bool kActive = false;
#else
    static constexpr bool kActive = true;
#endif

    // Resets the counts and counts this thread's requests until stop(). Other threads are not seen.
    void start() noexcept;
    void stop() noexcept;

    int64_t allocations() const noexcept;  // requests since start(), failed ones included
    int64_t failures() const noexcept;     // requests that failed (by failNext or for real)
    int64_t frees() const noexcept;        // non-null blocks released since start()
    // Blocks obtained minus blocks released since start(): 0 when everything was given back.
    int64_t outstanding() const noexcept { return allocations() - failures() - frees(); }

    // On this thread, after `skip` requests that succeed, the next `count` requests fail: malloc
    // gives null, so operator new throws std::bad_alloc. Independent of start()/stop().
    static void failNext(int64_t count, int64_t skip = 0) noexcept;
    static void stopFailing() noexcept;
    static int64_t failuresPending() noexcept;  // armed failures that have not happened yet
};

}  // namespace lumetra::test
