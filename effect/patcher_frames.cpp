// The effect's frame loop over whole stretches of frames: the same outputs,
// Samples and variables as running DoSample frame by frame, with far less work.
#include <algorithm>
#include <bit>
#include <cmath>
#include <type_traits>

#if defined(__SSE2_MATH__)
#include <xmmintrin.h>
#endif

#include "patcher_effect.h"
#include "script_index.h"

// A routed sample as the frame loop leaves it, computed without the loop's
// conversions: NaN and the infinities become 0, and so do denormal floats
// under a flushing FPU, keeping their sign. Doubles are never converted.
struct TVexilEffect::RouteSample {
    bool flushes;

    double operator()(double x) const { return Finite(x); }
    float operator()(float x) const {
        if (!flushes) return std::isfinite(x) ? x : 0.0f;
        const auto bits = std::bit_cast<std::uint32_t>(x);
        const std::uint32_t exponent = bits & 0x7f800000u;
        // Masks rather than a choice of values: the compiler makes a vector loop of that.
        const std::uint32_t notFinite = exponent == 0x7f800000u ? ~0u : 0u;
        const std::uint32_t denormal = exponent == 0 ? ~0u : 0u;
        return std::bit_cast<float>(bits & ~notFinite & (~denormal | 0x80000000u));
    }
};

namespace {

std::uint64_t Bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// Two buffers that meet within `bytes` of their starts without being the same.
bool Overlap(const void* a, const void* b, std::uintptr_t bytes) {
    const std::uintptr_t distance = reinterpret_cast<std::uintptr_t>(a) - reinterpret_cast<std::uintptr_t>(b);
    return distance != 0 && distance + bytes - 1 < 2 * bytes - 1;
}

// What the FPU makes of a float widened to double and narrowed again.
enum class FloatRoundTrip {
    Exact,     // the float itself
    Flushing,  // the float, but a zero of its sign for a denormal (flush-to-zero, denormals-are-zero)
    Unknown,   // the FPU cannot be asked here: only real conversions will do
    Trapping,  // an unmasked exception could trap on a sample of either precision:
               // only the frame loop itself behaves alike
};

FloatRoundTrip CurrentFloatRoundTrip() {
#if defined(__SSE2_MATH__)
    constexpr unsigned kDenormalsAreZero = 0x0040;
    const unsigned csr = _mm_getcsr();
    if ((csr & _MM_MASK_MASK) != _MM_MASK_MASK) return FloatRoundTrip::Trapping;
    return csr & (_MM_FLUSH_ZERO_MASK | kDenormalsAreZero) ? FloatRoundTrip::Flushing : FloatRoundTrip::Exact;
#elif defined(__aarch64__)
    // FPCR: the trap enables of the invalid, divide, overflow, underflow,
    // inexact and input-denormal exceptions, and flush-to-zero.
    constexpr std::uint64_t kTrapEnables = 0x9F00, kFlushToZero = std::uint64_t{1} << 24;
    std::uint64_t fpcr;
    asm volatile("mrs %0, fpcr" : "=r"(fpcr));
    if (fpcr & kTrapEnables) return FloatRoundTrip::Trapping;
    return fpcr & kFlushToZero ? FloatRoundTrip::Flushing : FloatRoundTrip::Exact;
#else
    return FloatRoundTrip::Unknown;
#endif
}

template <class Sample, class RouteSample>
void CopyRouted(const Sample* __restrict from, Sample* __restrict to, std::int32_t count, RouteSample route) {
    for (std::int32_t k = 0; k < count; ++k) to[k] = route(from[k]);
}

template <class Sample, class RouteSample>
void RouteInPlace(Sample* samples, std::int32_t count, RouteSample route) {
    for (std::int32_t k = 0; k < count; ++k) samples[k] = route(samples[k]);
}

// A null source is a slot that keeps one value for the whole run.
template <class Sample, class RouteSample>
void Route(const Sample* from, Sample* to, std::int32_t count, double constant, RouteSample route) {
    if (!from)
        std::fill_n(to, count, static_cast<Sample>(constant));
    else if (from == to)
        RouteInPlace(to, count, route);
    else
        CopyRouted(from, to, count, route);
}

// The staging is the effect's own memory, never a host buffer. Its doubles go
// through memory so that widening and narrowing floats stay real conversions,
// on which the FPU's flush-to-zero and denormals-are-zero modes act.
template <class Sample>
void StageFinite(const Sample* __restrict from, double* __restrict to, std::int32_t count) {
    for (std::int32_t k = 0; k < count; ++k) to[k] = Finite(static_cast<double>(from[k]));
}

template <class Sample>
void Stage(const Sample* from, double* to, std::int32_t count, double constant) {
    if (!from)
        std::fill_n(to, count, constant);
    else
        StageFinite(from, to, count);
}

template <class Sample>
void Unstage(const double* __restrict from, Sample* __restrict to, std::int32_t count) {
    for (std::int32_t k = 0; k < count; ++k) to[k] = static_cast<Sample>(from[k]);
}

}  // namespace

template <class Sample>
void TVexilEffect::SampleFrames(Sample* const* inputs, Sample* const* outputs, std::int32_t frames) {
    const FloatRoundTrip roundTrip = CurrentFloatRoundTrip();
    if (roundTrip == FloatRoundTrip::Trapping) {
        ExchangeFrames(inputs, outputs, 0, frames);
        return;
    }
    const bool routable = std::is_same_v<Sample, double> || roundTrip != FloatRoundTrip::Unknown;
    const RouteSample route{roundTrip == FloatRoundTrip::Flushing};
    for (std::int32_t begin = 0; begin < frames;) {
        // Every frame reads both sources; a run is a stretch of frames that
        // read the same two, so it routes the same channels throughout.
        const double source1 = Output1Source;
        const double source2 = Output2Source;
        const std::int32_t end = RunEnd(source1, source2, begin, std::min(frames, begin + kRunFrames));
        if (end - begin < kShortRun || !RouteRun(inputs, outputs, begin, end, source1, source2, routable, route)) {
            if (routable)
                RouteFrames(inputs, outputs, begin, end, source1, source2, route);
            else
                ExchangeFrames(inputs, outputs, begin, end);
        }
        begin = end;
    }
}

// A frame whose reads differ ends the run; the next run reads that frame again.
std::int32_t TVexilEffect::RunEnd(double source1, double source2, std::int32_t begin, std::int32_t limit) const {
    const std::uint64_t bits1 = Bits(source1);
    const std::uint64_t bits2 = Bits(source2);
    const auto moved = [&] { return (Bits(Output1Source) ^ bits1) | (Bits(Output2Source) ^ bits2); };
    std::int32_t end = begin + 1;
    for (; end + 4 <= limit; end += 4)
        if ((moved() | moved() | moved() | moved()) != 0) break;
    while (end < limit && moved() == 0) ++end;
    return end;
}

// Channel by channel rather than frame by frame: both sources are read for the
// whole run before any output is written, then outputs 16 down to 1 are
// written, the order within each frame. Only buffers that overlap without
// being the same could tell the two orders apart; such a run goes frame by frame.
template <class Sample>
bool TVexilEffect::RouteRun(Sample* const* inputs, Sample* const* outputs, std::int32_t begin, std::int32_t end,
                            double source1, double source2, bool routable, RouteSample route) {
    const std::int32_t count = end - begin;
    const std::int32_t slot1 = SampleSlot(source1);
    const std::int32_t slot2 = SampleSlot(source2);
    const Sample* from1 = slot1 < kChannels ? inputs[slot1] + begin : nullptr;
    const Sample* from2 = slot2 < kChannels ? inputs[slot2] + begin : nullptr;
    Sample* to1 = outputs[0] + begin;
    Sample* to2 = outputs[1] + begin;

    // Overlap checks for a slot without a source are stand-ins that always pass.
    const Sample* read1 = from1 ? from1 : to1;
    const Sample* read2 = from2 ? from2 : to2;
    const auto bytes = static_cast<std::uintptr_t>(count) * sizeof(Sample);
    bool overlap = false;
    for (int c = 0; c < kChannels; ++c)
        for (const Sample* buffer : {read1, read2, static_cast<const Sample*>(to1), static_cast<const Sample*>(to2)})
            overlap |= Overlap(buffer, outputs[c] + begin, bytes);
    if (overlap) return false;
    // Straight from the sources into outputs 1 and 2, unless an output written
    // before a source is read is that source.
    bool direct = routable;
    for (int c = 1; c < kChannels; ++c) {
        const Sample* to = outputs[c] + begin;
        if (to == from1 || (c >= 2 && to == from2)) direct = false;
    }

    // The last frame's routed values, read before the outputs are written.
    const double last1 = from1 ? Finite(static_cast<double>(from1[count - 1])) : KeptSample(slot1);
    const double last2 = from2 ? Finite(static_cast<double>(from2[count - 1])) : KeptSample(slot2);

    if (!direct) {
        Stage(from1, Routed1.data(), count, last1);
        Stage(from2, Routed2.data(), count, last2);
    }
    for (int c = kChannels - 1; c >= 2; --c) std::fill_n(outputs[c] + begin, count, Sample(0));
    if (direct) {
        Route(from2, to2, count, last2, route);
        Route(from1, to1, count, last1, route);
    } else {
        Unstage(Routed2.data(), to2, count);
        Unstage(Routed1.data(), to1, count);
    }

    LeaveLastFrame(last1, last2);
    return true;
}

// In the frame loop's own order, which suits any buffers.
template <class Sample>
void TVexilEffect::RouteFrames(Sample* const* inputs, Sample* const* outputs, std::int32_t begin, std::int32_t end,
                               double source1, double source2, RouteSample route) {
    const std::int32_t slot1 = SampleSlot(source1);
    const std::int32_t slot2 = SampleSlot(source2);
    const Sample* from1 = slot1 < kChannels ? inputs[slot1] : nullptr;
    const Sample* from2 = slot2 < kChannels ? inputs[slot2] : nullptr;
    const double kept1 = KeptSample(slot1);
    const double kept2 = KeptSample(slot2);
    const Sample keptSample1 = static_cast<Sample>(kept1);
    const Sample keptSample2 = static_cast<Sample>(kept2);
    double last1 = kept1;
    double last2 = kept2;
    for (std::int32_t j = begin; j < end; ++j) {
        Sample routed1 = keptSample1;
        Sample routed2 = keptSample2;
        if (from1) {
            routed1 = route(from1[j]);
            last1 = Finite(static_cast<double>(from1[j]));
        }
        if (from2) {
            routed2 = route(from2[j]);
            last2 = Finite(static_cast<double>(from2[j]));
        }
        for (int c = kChannels - 1; c >= 2; --c) outputs[c][j] = Sample(0);
        outputs[1][j] = routed2;
        outputs[0][j] = routed1;
    }
    LeaveLastFrame(last1, last2);
}

// Slots from kChannels up are never loaded from inputs: they keep their value.
double TVexilEffect::KeptSample(std::int32_t slot) const { return Finite(Samples[static_cast<std::size_t>(slot)]); }

// What DoSample leaves behind after a frame that routed these two values.
void TVexilEffect::LeaveLastFrame(double routed1, double routed2) {
    SectionStartCopies();
    Output1Sample = routed1;
    Output2Sample = routed2;
    ZeroSample = 0.0;
    Samples[0] = routed1;
    Samples[1] = routed2;
    std::fill(Samples.begin() + 2, Samples.begin() + kChannels, 0.0);
}

template <class Sample>
void TVexilEffect::ExchangeFrames(Sample* const* inputs, Sample* const* outputs, std::int32_t begin,
                                  std::int32_t end) {
    for (std::int32_t j = begin; j < end; ++j) {
        for (int c = kChannels - 1; c >= 0; --c) Samples[static_cast<std::size_t>(c)] = inputs[c][j];
        DoSample();
        for (int c = kChannels - 1; c >= 0; --c)
            outputs[c][j] = static_cast<Sample>(Samples[static_cast<std::size_t>(c)]);
    }
}

template void TVexilEffect::SampleFrames<float>(float* const*, float* const*, std::int32_t);
template void TVexilEffect::SampleFrames<double>(double* const*, double* const*, std::int32_t);
