// What every fuzz target reads its input with, and how it reports a broken
// invariant: an abort, which libFuzzer reports as a finding together with the
// input that led to it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz_host {

inline void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// The fuzzer's input, read front to back; every read past the end gives 0.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data(data), left(size) {}
    bool Empty() const { return left == 0; }

    template <class T>
    T Take() {
        T value{};
        Copy(&value, sizeof value);
        return value;
    }

    // Copies up to `size` bytes into `dest`; answers how many there were.
    std::size_t Copy(void* dest, std::size_t size) {
        const std::size_t n = size < left ? size : left;
        if (n > 0) std::memcpy(dest, data, n);
        data += n;
        left -= n;
        return n;
    }

private:
    const std::uint8_t* data;
    std::size_t left;
};

inline std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}  // namespace fuzz_host
