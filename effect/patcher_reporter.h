// One way to meet a host that misbehaves, for every format: the call is
// answered as the format requires, and the misbehaviour is marked where it
// happened, the audio thread included, then told once per instance and
// activation through whatever log the format gives, from a thread that may
// log.
//
// Strict mode, for debug builds and the tests: a flush that tells of anything
// aborts the process after telling it, so that a test host that misbehaves
// fails its test. MULTICHANNEL_PATCHER_STRICT=1 in the environment asks for
// it, =0 turns it off; unset, debug builds are strict.
#pragma once

#include <atomic>
#include <cstdint>

enum class TPatcherMisbehaviour : std::uint8_t {
    WrongState,      // a call the plug-in's state does not allow
    WrongThread,     // a call on a thread the format rules out
    OutOfRange,      // an id or index that names nothing
    BufferLayout,    // audio other than described
    StreamFailure,   // a host stream that failed
};

class CPatcherReporter {
public:
    static constexpr int kKinds = 5;

    // Any thread, the audio thread too: one atomic exchange, nothing else.
    // True when the kind was not marked yet, for a format that asks its host
    // for a call on another thread to flush from.
    bool Mark(TPatcherMisbehaviour kind) noexcept {
        return !Marks[Index(kind)].exchange(true, std::memory_order_relaxed);
    }
    bool Marked() const noexcept;

    // Not on the audio thread. Calls `tell(kind)` once for each kind marked
    // and not yet told since the last Rearm.
    template <class Tell>
    void Flush(Tell&& tell);
    // A new activation: what is marked from now on is told again.
    void Rearm() noexcept;

    // Whether the environment asks for strict mode; read at each flush that
    // tells, so that a test can ask for it before it starts a host.
    static bool Strict();

private:
    static constexpr int Index(TPatcherMisbehaviour kind) { return static_cast<int>(kind); }
    [[noreturn]] static void FailStrictly(TPatcherMisbehaviour kind);

    std::atomic<bool> Marks[kKinds] = {};
    bool Told[kKinds] = {};
};

template <class Tell>
void CPatcherReporter::Flush(Tell&& tell) {
    for (int k = 0; k < kKinds; ++k) {
        if (Told[k] || !Marks[k].load(std::memory_order_relaxed)) continue;
        Told[k] = true;
        const auto kind = static_cast<TPatcherMisbehaviour>(k);
        tell(kind);
        if (Strict()) FailStrictly(kind);
    }
}
