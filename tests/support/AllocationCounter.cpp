#include "tests/support/AllocationCounter.h"

#include <cerrno>
#include <cstddef>

#include <malloc.h>
#include <stdlib.h>

namespace {

// Per thread and trivially constructed: the allocator runs before and after any constructor.
struct ThreadCounts {
    bool counting;
    int64_t allocations;
    int64_t failures;
    int64_t frees;
    int64_t failSkip;
    int64_t failCount;
};
thread_local ThreadCounts counts __attribute__((tls_model("initial-exec")));

}  // namespace

namespace lumetra::test {

void AllocationCounter::start() noexcept {
    counts.allocations = 0;
    counts.failures = 0;
    counts.frees = 0;
    counts.counting = true;
}
void AllocationCounter::stop() noexcept { counts.counting = false; }
int64_t AllocationCounter::allocations() const noexcept { return counts.allocations; }
int64_t AllocationCounter::failures() const noexcept { return counts.failures; }
int64_t AllocationCounter::frees() const noexcept { return counts.frees; }

void AllocationCounter::failNext(int64_t count, int64_t skip) noexcept {
    counts.failSkip = skip > 0 ? skip : 0;
    counts.failCount = count > 0 ? count : 0;
}
void AllocationCounter::stopFailing() noexcept {
    counts.failSkip = 0;
    counts.failCount = 0;
}
int64_t AllocationCounter::failuresPending() noexcept { return counts.failCount; }

}  // namespace lumetra::test

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace {

// True when this request is to fail. Counts the request either way.
bool refuse() noexcept {
    if (counts.counting) ++counts.allocations;
    bool fail = false;
    if (counts.failCount > 0) {
        if (counts.failSkip > 0)
            --counts.failSkip;
        else {
            --counts.failCount;
            fail = true;
        }
    }
    return fail;
}

void* checked(void* block) noexcept {
    if (block == nullptr && counts.counting) ++counts.failures;
    return block;
}

void* failed() noexcept {
    if (counts.counting) ++counts.failures;
    errno = ENOMEM;
    return nullptr;
}

void released(void* block) noexcept {
    if (block != nullptr && counts.counting) ++counts.frees;
}

bool powerOfTwo(size_t n) { return n != 0 && (n & (n - 1)) == 0; }

}  // namespace

extern "C" {

void* malloc(size_t size) noexcept { return refuse() ? failed() : checked(__libc_malloc(size)); }

void* calloc(size_t count, size_t size) noexcept {
    return refuse() ? failed() : checked(__libc_calloc(count, size));
}

void* realloc(void* block, size_t size) noexcept {
    if (block == nullptr) return malloc(size);
    if (size == 0) {
        released(block);
        return __libc_realloc(block, 0);
    }
    if (refuse()) return failed();  // the old block stays valid, as realloc promises
    void* moved = checked(__libc_realloc(block, size));
    if (moved != nullptr) released(block);
    return moved;
}

void free(void* block) noexcept {
    released(block);
    __libc_free(block);
}

void* memalign(size_t alignment, size_t size) noexcept {
    return refuse() ? failed() : checked(__libc_memalign(alignment, size));
}

void* aligned_alloc(size_t alignment, size_t size) noexcept { return memalign(alignment, size); }

int posix_memalign(void** result, size_t alignment, size_t size) noexcept {
    if (!powerOfTwo(alignment) || alignment % sizeof(void*) != 0) return EINVAL;
    void* block = memalign(alignment, size);
    if (block == nullptr) return ENOMEM;
    *result = block;
    return 0;
}

void* valloc(size_t size) noexcept { return memalign(4096, size); }

}  // extern "C"

#endif
