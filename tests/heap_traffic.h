// Heap traffic of a whole test program, counted by heap_traffic.cpp, which
// replaces operator new and delete and, outside sanitizer builds, malloc and
// its kin. Where a loaded library binds its allocation calls to the
// program's definitions (ELF symbol interposition) its traffic counts too.
#pragma once

#include <atomic>
#include <cstdint>

#if defined(__GLIBC__)
constexpr bool kCountsLibrary = true;

// The sanitizers bring allocators of their own, which must stay in charge.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define HEAP_TRAFFIC_SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define HEAP_TRAFFIC_SANITIZED
#endif
#endif

#if defined(HEAP_TRAFFIC_SANITIZED)
constexpr bool kCountsMalloc = false;
#else
constexpr bool kCountsMalloc = true;
#endif
#else
// A Windows library keeps its own allocator, out of this program's reach.
constexpr bool kCountsLibrary = false;
constexpr bool kCountsMalloc = false;
#endif

namespace heap {
extern std::atomic<std::uint64_t> news;
extern std::atomic<std::uint64_t> deletes;
extern std::atomic<std::uint64_t> mallocs;
extern std::atomic<std::uint64_t> frees;
// The next this many calls of the C allocation functions fail as out of
// memory does (where kCountsMalloc), and so the library's operator new calls
// built on them. One at a time: unwinding needs memory of its own.
extern std::atomic<int> refusals;
}  // namespace heap

struct HeapTraffic {
    std::uint64_t news, deletes, mallocs, frees;
    static HeapTraffic Now() {
        return {heap::news.load(), heap::deletes.load(), heap::mallocs.load(), heap::frees.load()};
    }
    HeapTraffic Since(const HeapTraffic& start) const {
        return {news - start.news, deletes - start.deletes, mallocs - start.mallocs, frees - start.frees};
    }
};
