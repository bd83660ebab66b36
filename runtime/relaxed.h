// A value that sections on different threads share: the host may set
// parameters or load state on one thread while its audio thread processes.
// Every access is a relaxed atomic one, which costs a plain load or store on
// the targets we build for, and never takes a lock.
#pragma once

#include <atomic>

template <class T>
class Relaxed {
    static_assert(std::atomic<T>::is_always_lock_free, "shared script values must be lock-free");

public:
    constexpr Relaxed(T initial = T{}) noexcept : value(initial) {}
    Relaxed(const Relaxed& other) noexcept : value(other.load()) {}

    Relaxed& operator=(T v) noexcept {
        store(v);
        return *this;
    }
    Relaxed& operator=(const Relaxed& other) noexcept {
        store(other.load());
        return *this;
    }

    operator T() const noexcept { return load(); }
    T load() const noexcept { return value.load(std::memory_order_relaxed); }
    void store(T v) noexcept { value.store(v, std::memory_order_relaxed); }

private:
    std::atomic<T> value;
};
