#include "heap_traffic.h"

#include <cerrno>
#include <cstdlib>
#include <new>

namespace heap {
std::atomic<std::uint64_t> news{0};
std::atomic<std::uint64_t> deletes{0};
std::atomic<std::uint64_t> mallocs{0};
std::atomic<std::uint64_t> frees{0};
std::atomic<int> refusals{0};

// Takes one refusal, if any is left.
bool Refused() {
    int left = refusals.load(std::memory_order_relaxed);
    while (left > 0 && !refusals.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
    }
    return left > 0;
}
}  // namespace heap

#if defined(__GLIBC__)
// The library's other forms of new and delete forward to these.
void* operator new(std::size_t size) {
    heap::news.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    heap::news.fetch_add(1, std::memory_order_relaxed);
    const auto a = static_cast<std::size_t>(alignment);
    if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    if (p) heap::deletes.fetch_add(1, std::memory_order_relaxed);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete(void* p, std::align_val_t) noexcept {
    if (p) heap::deletes.fetch_add(1, std::memory_order_relaxed);
    std::free(p);
}

#if !defined(HEAP_TRAFFIC_SANITIZED)
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size) noexcept {
    heap::mallocs.fetch_add(1, std::memory_order_relaxed);
    if (heap::Refused()) return nullptr;
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    heap::mallocs.fetch_add(1, std::memory_order_relaxed);
    if (heap::Refused()) return nullptr;
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) noexcept {
    heap::mallocs.fetch_add(1, std::memory_order_relaxed);
    if (heap::Refused()) return nullptr;
    return __libc_realloc(p, size);
}
void* memalign(std::size_t alignment, std::size_t size) noexcept {
    heap::mallocs.fetch_add(1, std::memory_order_relaxed);
    if (heap::Refused()) return nullptr;
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept { return memalign(alignment, size); }
int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
    void* p = memalign(alignment, size);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
void free(void* p) noexcept {
    if (p) heap::frees.fetch_add(1, std::memory_order_relaxed);
    __libc_free(p);
}
}
#endif
#endif
