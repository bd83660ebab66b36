// The in-memory stream behind each test host's state streams: it moves at
// most `step` bytes a call, and a read or write at or after `failAt` bytes
// fails. Each host wraps it in its format's stream record.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

struct ByteStream {
    std::vector<std::uint8_t> bytes;
    std::size_t position = 0;
    std::uint64_t step = std::numeric_limits<std::uint64_t>::max();
    std::size_t failAt = std::numeric_limits<std::size_t>::max();

    // How many bytes moved, or -1 for a failure.
    std::int64_t Read(void* buffer, std::uint64_t size) {
        if (position >= failAt) return -1;
        // A seek may have left the position past the end.
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(
            {size, step, bytes.size() - std::min(position, bytes.size()), failAt - position}));
        if (n > 0) std::memcpy(buffer, bytes.data() + position, n);
        position += n;
        return static_cast<std::int64_t>(n);
    }
    std::int64_t Write(const void* buffer, std::uint64_t size) {
        if (position >= failAt) return -1;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>({size, step, failAt - position}));
        const auto* from = static_cast<const std::uint8_t*>(buffer);
        bytes.insert(bytes.end(), from, from + n);
        position += n;
        return static_cast<std::int64_t>(n);
    }
};
