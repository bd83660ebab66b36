// The patcher effect's sample section run over whole blocks, against the frame
// loop it stands for: inputs into Samples, DoSample, Samples out, frame by
// frame. Outputs, Samples and the effect's variables must agree bit for bit,
// whatever buffers a host passes and however its FPU treats denormals.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <numeric>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__SSE2_MATH__)
#include <xmmintrin.h>
#endif

#include "patcher_effect.h"

namespace {

constexpr int kChannels = TVexilEffect::kChannels;

struct Random {
    std::uint64_t state;
    std::uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
};

// Mostly audio, with every kind of value the finite-value rule and the FPU
// modes tell apart. Denormals are made from bits, since arithmetic could meet
// a flushing FPU.
template <class Sample>
Sample AnySample(Random& random) {
    using Bits = std::conditional_t<sizeof(Sample) == 4, std::uint32_t, std::uint64_t>;
    constexpr Bits kSign = Bits(1) << (sizeof(Sample) * 8 - 1);
    constexpr Bits kMantissa = (Bits(1) << (std::numeric_limits<Sample>::digits - 1)) - 1;
    const auto bits = static_cast<Bits>(random.Next());
    switch (random.Below(12)) {
    case 0: return std::numeric_limits<Sample>::quiet_NaN();
    case 1: return random.Below(2) ? std::numeric_limits<Sample>::infinity() : -std::numeric_limits<Sample>::infinity();
    case 2: return std::bit_cast<Sample>(static_cast<Bits>((bits & (kSign | kMantissa)) | 1));
    case 3: return -Sample(0);
    case 4: return std::bit_cast<Sample>(bits);
    default: return static_cast<Sample>(random.Below(2001) - 1000) / Sample(1000);
    }
}

// Where a host may put the 16 input and 16 output buffers.
enum class Layout { Separate, InPlace, InPlaceRotated, SharedOutputs, Staggered, OneFrameOn };

// Both sets of buffers carved from one pool, so that a layout can make them
// meet in any way; two pools of the same layout and contents compare whole.
template <class Sample>
struct Pool {
    Pool(Layout layout, int frames, std::uint64_t seed) {
        Random random{seed};
        const int stride = layout == Layout::Staggered ? frames + random.Below(3) - 1 : frames;
        samples.resize(static_cast<std::size_t>(2 * kChannels * std::max(stride, 1) + 2 * frames + 8));
        for (Sample& s : samples) s = AnySample<Sample>(random);
        std::vector<int> order(2 * kChannels);
        std::iota(order.begin(), order.end(), 0);
        if (layout == Layout::Staggered)
            for (int i = 2 * kChannels - 1; i > 0; --i) std::swap(order[i], order[random.Below(i + 1)]);
        const auto at = [&](int place) { return samples.data() + static_cast<std::ptrdiff_t>(place) * stride; };
        for (int c = 0; c < kChannels; ++c) {
            in[c] = at(order[c]);
            out[c] = at(order[kChannels + c]);
        }
        if (layout == Layout::InPlace)
            for (int c = 0; c < kChannels; ++c) out[c] = in[c];
        if (layout == Layout::InPlaceRotated)
            for (int c = 0; c < kChannels; ++c) out[c] = in[(c + 1) % kChannels];
        if (layout == Layout::OneFrameOn)
            for (int c = 0; c < kChannels; ++c) out[c] = in[c] + 1;
        if (layout == Layout::SharedOutputs) {
            // One scratch buffer for every output but the first, and the first
            // is input 2: a host with a single spare buffer.
            for (int c = 1; c < kChannels; ++c) out[c] = out[2];
            out[0] = in[1];
        }
    }
    std::vector<Sample> samples;
    Sample* in[kChannels];
    Sample* out[kChannels];
};

void Prepare(TVexilEffect& effect, double source1, double source2) {
    effect.DoOpen();
    effect.HostSampleRate = 48000.0;
    effect.HostTempo = 133.5;
    effect.HostTimeSigNumerator = 7.0;
    effect.Output1Source = source1;
    effect.Output2Source = source2;
    // Slots above the channels are never loaded: routing to them yields what they hold.
    effect.Samples[40] = 0.1;
    effect.Samples[63] = -std::numeric_limits<double>::denorm_min();
}

template <class Sample>
void FrameLoop(TVexilEffect& effect, Sample* const* inputs, Sample* const* outputs, int frames) {
    for (int j = 0; j < frames; ++j) {
        for (int c = kChannels - 1; c >= 0; --c) effect.Samples[static_cast<std::size_t>(c)] = inputs[c][j];
        effect.DoSample();
        for (int c = kChannels - 1; c >= 0; --c)
            outputs[c][j] = static_cast<Sample>(effect.Samples[static_cast<std::size_t>(c)]);
    }
}

std::vector<std::uint64_t> StateBits(const TVexilEffect& effect) {
    std::vector<std::uint64_t> bits;
    for (double v : effect.Samples) bits.push_back(std::bit_cast<std::uint64_t>(v));
    for (const Relaxed<double>* v :
         {&effect.Output1Sample, &effect.Output2Sample, &effect.ZeroSample, &effect.SampleRate, &effect.ChannelCount,
          &effect.BlockSize, &effect.Tempo, &effect.TimeSigNumerator, &effect.TimeSigDenominator})
        bits.push_back(std::bit_cast<std::uint64_t>(v->load()));
    return bits;
}

// The FPU modes a host's audio thread may run in, each set for a scope.
struct FpuMode {
    const char* name;
    unsigned bits;
};

#if defined(__SSE2_MATH__)
constexpr unsigned kDenormalsAreZero = 0x0040;
const FpuMode kFpuModes[] = {{"default", 0},
                             {"flush-to-zero", _MM_FLUSH_ZERO_ON},
                             {"denormals-are-zero", kDenormalsAreZero},
                             {"both", _MM_FLUSH_ZERO_ON | kDenormalsAreZero}};

class FpuScope {
public:
    explicit FpuScope(const FpuMode& mode) : saved(_mm_getcsr()) { _mm_setcsr(saved | mode.bits); }
    ~FpuScope() { _mm_setcsr(saved); }

private:
    const unsigned saved;
};
#elif defined(__aarch64__)
const FpuMode kFpuModes[] = {{"default", 0}, {"flush-to-zero", 1u << 24}};

class FpuScope {
public:
    explicit FpuScope(const FpuMode& mode) : saved(Read()) { Write(saved | mode.bits); }
    ~FpuScope() { Write(saved); }

private:
    static std::uint64_t Read() {
        std::uint64_t fpcr;
        asm volatile("mrs %0, fpcr" : "=r"(fpcr));
        return fpcr;
    }
    static void Write(std::uint64_t fpcr) { asm volatile("msr fpcr, %0" : : "r"(fpcr)); }
    const std::uint64_t saved;
};
#else
const FpuMode kFpuModes[] = {{"default", 0}};

struct FpuScope {
    explicit FpuScope(const FpuMode&) {}
};
#endif

template <class Sample>
class SampleFrames : public ::testing::Test {};
using SampleTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(SampleFrames, SampleTypes);

TYPED_TEST(SampleFrames, AgreeWithTheFrameLoopBitForBit) {
    using Sample = TypeParam;
    const std::pair<double, double> sources[] = {{0, 1}, {1, 0}, {5, 5}, {15, 2}, {16, 3}, {-1, 40}, {2.5, 1e10}};
    const Layout layouts[] = {Layout::Separate,      Layout::InPlace,   Layout::InPlaceRotated,
                              Layout::SharedOutputs, Layout::Staggered, Layout::OneFrameOn};
    // Blocks shorter and longer than what goes frame by frame, and across
    // the longest stretch handled in one piece.
    const int lengths[] = {1, 7, 8, 9, 100, 1024, 1025, 3000};
    auto routed = std::make_unique<TVexilEffect>();
    auto looped = std::make_unique<TVexilEffect>();
    std::uint64_t seed = 1;
    for (const FpuMode& mode : kFpuModes)
        for (const auto& [source1, source2] : sources)
            for (Layout layout : layouts)
                for (int frames : lengths) {
                    SCOPED_TRACE(testing::Message() << mode.name << " FPU, sources " << source1 << " " << source2
                                                    << ", layout " << static_cast<int>(layout) << ", " << frames
                                                    << " frames");
                    Pool<Sample> a(layout, frames, ++seed);
                    Pool<Sample> b(layout, frames, seed);
                    Prepare(*routed, source1, source2);
                    Prepare(*looped, source1, source2);
                    {
                        const FpuScope fpu(mode);
                        routed->SampleFrames(a.in, a.out, frames);
                        FrameLoop(*looped, b.in, b.out, frames);
                    }
                    ASSERT_EQ(std::memcmp(a.samples.data(), b.samples.data(), sizeof(Sample) * a.samples.size()), 0);
                    ASSERT_EQ(StateBits(*routed), StateBits(*looped));
                }
}

#if defined(__SSE2_MATH__) || defined(__aarch64__)
// The conversions to double and back are the FPU's: with flush-to-zero or
// denormals-are-zero on, a denormal float comes out as a zero of its sign;
// doubles are copied and never flushed.
TYPED_TEST(SampleFrames, DenormalsFollowTheFpu) {
    using Sample = TypeParam;
    const Sample denormal = -std::numeric_limits<Sample>::denorm_min() * 3;
    for (const FpuMode& mode : kFpuModes) {
        SCOPED_TRACE(mode.name);
        auto effect = std::make_unique<TVexilEffect>();
        Prepare(*effect, 0, 1);
        Pool<Sample> pool(Layout::Separate, 64, 7);
        std::fill_n(pool.in[0], 64, denormal);
        {
            const FpuScope fpu(mode);
            effect->SampleFrames(pool.in, pool.out, 64);
        }
        const bool flushed = sizeof(Sample) == 4 && mode.bits != 0;
        for (int j = 0; j < 64; ++j)
            ASSERT_EQ(std::bit_cast<std::uint64_t>(static_cast<double>(pool.out[0][j])),
                      std::bit_cast<std::uint64_t>(flushed ? -0.0 : static_cast<double>(denormal)));
    }
}
#endif

// A source changed on another thread takes effect from the next frame the
// audio thread reaches, anywhere in a block: every frame routes the old or
// the new input whole, and changes show up inside blocks, not only where
// blocks are cut into pieces. When the two threads share a core, a change
// lands inside a block only where the audio thread is preempted there, so
// the loop goes on until one has.
TEST(SampleFramesThreads, SourceChangesLandBetweenAnyTwoFrames) {
    constexpr int kFrames = 4096;
    auto effect = std::make_unique<TVexilEffect>();
    Prepare(*effect, 3, 1);
    std::vector<std::vector<float>> in(kChannels, std::vector<float>(kFrames)), out = in;
    float* inputs[kChannels];
    float* outputs[kChannels];
    for (int c = 0; c < kChannels; ++c) {
        std::fill(in[c].begin(), in[c].end(), static_cast<float>(c + 1));
        inputs[c] = in[c].data();
        outputs[c] = out[c].data();
    }
    const std::vector<float> silence(kFrames, 0.0f);
    const std::vector<float> input2(kFrames, 2.0f);

    std::atomic<bool> done{false};
    std::thread changer([&] {
        for (int flip = 0; !done.load(); ++flip) effect->Output1Source = flip % 2 ? 7.0 : 3.0;
    });
    int badBlocks = 0;
    int changesInside = 0;
    for (int block = 0; block < 500000 && changesInside == 0; ++block) {
        effect->SampleFrames(inputs, outputs, kFrames);
        badBlocks += out[1] != input2;
        for (int c = 2; c < kChannels; ++c) badBlocks += out[c] != silence;
        for (int j = 0; j < kFrames; ++j) {
            badBlocks += outputs[0][j] != 4.0f && outputs[0][j] != 8.0f;
            changesInside += j % 1024 != 0 && outputs[0][j] != outputs[0][j - 1];
        }
    }
    done = true;
    changer.join();
    EXPECT_EQ(badBlocks, 0);
    EXPECT_GT(changesInside, 0);
}

}  // namespace
