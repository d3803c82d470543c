// One value shared between threads, read and written whole with relaxed order. Copyable, so that
// the value classes that hold it (program slots, detectors) keep their copy semantics; a copy is
// a relaxed load followed by a relaxed store, never a torn value.
#pragma once

#include <atomic>

namespace lumetra {

template <typename T>
class Relaxed {
public:
    constexpr Relaxed() noexcept : value(T{}) {}
    constexpr Relaxed(T v) noexcept : value(v) {}  // NOLINT: implicit, behaves like the plain value
    Relaxed(const Relaxed& other) noexcept : value(other.load()) {}
    Relaxed& operator=(const Relaxed& other) noexcept {
        store(other.load());
        return *this;
    }
    Relaxed& operator=(T v) noexcept {
        store(v);
        return *this;
    }
    operator T() const noexcept { return load(); }  // NOLINT: implicit by design
    T load() const noexcept { return value.load(std::memory_order_relaxed); }
    void store(T v) noexcept { value.store(v, std::memory_order_relaxed); }

private:
    std::atomic<T> value;
    static_assert(std::atomic<T>::is_always_lock_free, "shared values must be lock-free");
};

}  // namespace lumetra
