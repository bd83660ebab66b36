#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

// Copies as much of `source` as fits in `size` bytes with its terminating zero.
inline void CopyText(char* dest, std::size_t size, std::string_view source) {
    if (!dest || size == 0) return;
    const std::size_t n = source.size() < size - 1 ? source.size() : size - 1;
    // An empty view may carry a null pointer, which memcpy must not see.
    if (n > 0) std::memcpy(dest, source.data(), n);
    dest[n] = 0;
}

// Reads a host's zero-terminated text, at most `limit` bytes of it.
inline std::string_view ReadText(const char* source, std::size_t limit) {
    if (!source) return {};
    std::size_t n = 0;
    while (n < limit && source[n] != 0) ++n;
    return {source, n};
}
