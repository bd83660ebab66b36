#include "patcher_reporter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool CPatcherReporter::Marked() const noexcept {
    for (const auto& mark : Marks)
        if (mark.load(std::memory_order_relaxed)) return true;
    return false;
}

void CPatcherReporter::Rearm() noexcept {
    for (int k = 0; k < kKinds; ++k) {
        Marks[k].store(false, std::memory_order_relaxed);
        Told[k] = false;
    }
}

bool CPatcherReporter::Strict() {
    const char* strict = std::getenv("MULTICHANNEL_PATCHER_STRICT");
    if (strict && *strict) return std::strcmp(strict, "1") == 0;
#ifdef NDEBUG
    return false;
#else
    return true;
#endif
}

void CPatcherReporter::FailStrictly(TPatcherMisbehaviour kind) {
    static const char* const kNames[kKinds] = {"a call in the wrong state", "a call on the wrong thread",
                                               "an id or index out of range", "an odd buffer layout",
                                               "a failing stream"};
    std::fprintf(stderr, "multichannel_patcher: strict mode: the host made %s\n", kNames[static_cast<int>(kind)]);
    std::abort();
}
