#include "tests/engine/TestAllocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<int64_t> count{0};
std::atomic<size_t> failFrom{0};  // 0: never fail

}  // namespace

namespace lumetra::test {

AllocationCount::AllocationCount() {
    count = 0;
    counting = true;
}
AllocationCount::~AllocationCount() { counting = false; }
int64_t AllocationCount::allocations() const { return count.load(); }

FailLargeAllocations::FailLargeAllocations(size_t minBytes) { failFrom = minBytes; }
FailLargeAllocations::~FailLargeAllocations() { failFrom = 0; }

}  // namespace lumetra::test

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

namespace {

void* allocate(size_t size, size_t alignment, bool nothrow) {
    if (counting.load(std::memory_order_relaxed)) count.fetch_add(1, std::memory_order_relaxed);
    const size_t limit = failFrom.load(std::memory_order_relaxed);
    void* p = nullptr;
    if (limit == 0 || size < limit) {
        if (alignment == 0) p = std::malloc(size ? size : 1);
#if defined(_WIN32)
        else p = _aligned_malloc(size ? size : 1, alignment);  // Windows has no aligned_alloc
#else
        else p = std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
#endif
    }
    if (p == nullptr && !nothrow) throw std::bad_alloc();
    return p;
}

// Aligned blocks go back the way they came: _aligned_free on Windows, free elsewhere.
void releaseAligned(void* p) {
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}

}  // namespace

void* operator new(size_t size) { return allocate(size, 0, false); }
void* operator new[](size_t size) { return allocate(size, 0, false); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0, true); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocate(size, 0, true); }
void* operator new(size_t size, std::align_val_t a) { return allocate(size, size_t(a), false); }
void* operator new[](size_t size, std::align_val_t a) { return allocate(size, size_t(a), false); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { releaseAligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { releaseAligned(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { releaseAligned(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { releaseAligned(p); }

#endif
