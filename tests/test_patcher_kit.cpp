// The kit every format's adapter shares: the one silence policy, the state
// through streams of any kind, the reporter and the small helpers. What the
// formats answer from it is tested once here; their own tests check that
// they pass it what their hosts say.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "patcher_kit.h"
#include "patcher_plugin.h"
#include "patcher_reporter.h"
#include "strict_mode.h"

namespace {

constexpr int kChannels = CPatcherPlugin::kChannels;
constexpr double kNone = CPatcherPlugin::kNoSource;

struct Buffers {
    explicit Buffers(std::uint32_t frames) : pool(2 * kChannels * frames, 0.0f) {
        for (int c = 0; c < kChannels; ++c) {
            in[c] = pool.data() + c * frames;
            out[c] = pool.data() + (kChannels + c) * frames;
        }
    }
    std::vector<float> pool;
    float* in[kChannels];
    float* out[kChannels];
};

TEST(PatcherKit, SilentOutputsFollowOnePolicy) {
    const struct {
        const char* what;
        double source1, source2;
        std::vector<TPatcherChange> changes;
        std::uint64_t quietInputs;
        std::uint32_t outputs;
        std::uint64_t silent;
    } cases[] = {
        {"outputs 3 to 16 always", 0, 1, {}, 0, 16, 0xFFFC},
        {"a source of none", kNone, 4, {}, 0, 16, 0xFFFD},
        {"both none", kNone, kNone, {}, 0, 16, 0xFFFF},
        {"a quiet source input", 5, 6, {}, std::uint64_t{1} << 6, 16, 0xFFFE},
        {"one quiet input feeding both", 9, 9, {}, std::uint64_t{1} << 9, 16, 0xFFFF},
        {"quiet inputs no output reads", 0, 1, {}, 0xFFFC, 16, 0xFFFC},
        {"a change touches none", kNone, 2, {{0, 3, 4}}, 0, 16, 0xFFFC},
        {"a change to none touches it too", 1, 2, {{1, 3, kNone}}, 0, 16, 0xFFFC},
        {"a change back to the quiet input", 7, 2, {{0, 1, 3}, {0, 2, 7}}, std::uint64_t{1} << 7, 16, 0xFFFC},
        {"a change of the other output", kNone, 2, {{1, 5, 3}}, 0, 16, 0xFFFD},
        {"fewer outputs given", kNone, kNone, {}, 0, 1, 0x1},
        {"more outputs given", 0, kNone, {}, 0, 20, 0xFFFFE},
        {"no outputs", kNone, kNone, {}, 0, 0, 0},
        {"past 64 outputs", 0, 1, {}, 0, 70, ~std::uint64_t{3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CPatcherPlugin plugin;
        plugin.Activate(48000.0, 8);
        ASSERT_TRUE(plugin.SetParameterValue(0, c.source1));
        ASSERT_TRUE(plugin.SetParameterValue(1, c.source2));
        Buffers buffers(8);
        std::vector<float*> outputs(c.outputs, nullptr);
        for (std::uint32_t o = 0; o < c.outputs && o < kChannels; ++o) outputs[o] = buffers.out[o];
        auto block = plugin.BeginBlock<float>(nullptr, buffers.in, kChannels, outputs.data(), c.outputs, 8);
        std::size_t next = 0;
        block.FinishWith([&](TPatcherChange& change) {
            if (next == c.changes.size()) return false;
            change = c.changes[next++];
            return true;
        });
        EXPECT_EQ(block.SilentOutputs(c.quietInputs), c.silent);
    }
}

TEST(PatcherKit, ChangesWithoutAudioAllApply) {
    CPatcherPlugin plugin;
    const std::vector<TPatcherChange> changes = {{0, 9, 3}, {1, 0, 12}, {0, 2, 5}, {7, 0, 1}};
    std::size_t next = 0;
    plugin.ApplyChanges([&](TPatcherChange& change) {
        if (next == changes.size()) return false;
        change = changes[next++];
        return true;
    });
    EXPECT_EQ(plugin.ParameterValue(0), 5.0);
    EXPECT_EQ(plugin.ParameterValue(1), 12.0);
}

// A host stream of one chunk size, failing at a byte offset or not.
struct Stream {
    std::vector<std::uint8_t> bytes;
    std::size_t step = 4096, at = 0, failAt = SIZE_MAX;
    std::int64_t answer = 0;  // what a failing call answers

    std::int64_t Write(const std::uint8_t* data, std::size_t count) {
        if (at >= failAt) return answer;
        const std::size_t n = std::min(count, step);
        bytes.insert(bytes.end(), data, data + n);
        at += n;
        return static_cast<std::int64_t>(n);
    }
    std::int64_t Read(std::uint8_t* data, std::size_t count) {
        if (at >= failAt) return answer;
        const std::size_t n = std::min({count, step, bytes.size() - at});
        std::memcpy(data, bytes.data() + at, n);
        at += n;
        return static_cast<std::int64_t>(n);
    }
};

std::vector<std::uint8_t> Chunk(float first, float second) {
    std::vector<float> values(65, 0.0f);
    values[0] = -1000.0f;
    values[1] = first;
    values[2] = second;
    std::vector<std::uint8_t> bytes(values.size() * sizeof(float));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

TEST(PatcherKit, StateMovesThroughStreamsOfAnyChunkSize) {
    for (std::size_t step : {1u, 3u, 259u, 260u, 4096u}) {
        SCOPED_TRACE(step);
        CPatcherPlugin plugin;
        Stream in{Chunk(6, 11), step};
        EXPECT_EQ(plugin.LoadStateFrom([&](std::uint8_t* d, std::size_t n) { return in.Read(d, n); }),
                  TPatcherStateResult::Done);
        EXPECT_EQ(plugin.ParameterValue(0), 6.0);
        EXPECT_EQ(plugin.ParameterValue(1), 11.0);
        Stream out{{}, step};
        EXPECT_EQ(plugin.SaveStateTo([&](const std::uint8_t* d, std::size_t n) { return out.Write(d, n); }),
                  TPatcherStateResult::Done);
        EXPECT_EQ(out.bytes, Chunk(6, 11));
    }
}

TEST(PatcherKit, StreamsThatFailLeaveTheStateAsItWas) {
    const struct {
        const char* what;
        std::size_t step, failAt;
        std::int64_t answer;
        TPatcherStateResult loaded, saved;
    } cases[] = {
        {"fails at once", 64, 0, -1, TPatcherStateResult::StreamFailed, TPatcherStateResult::StreamFailed},
        {"fails midway", 16, 100, -1, TPatcherStateResult::StreamFailed, TPatcherStateResult::StreamFailed},
        {"answers more than asked", 16, 100, 1000, TPatcherStateResult::StreamFailed,
         TPatcherStateResult::StreamFailed},
        {"ends early, takes nothing", 16, 100, 0, TPatcherStateResult::NotOurs, TPatcherStateResult::StreamFailed},
        {"ends after the marker", 16, 16, 0, TPatcherStateResult::Done, TPatcherStateResult::StreamFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CPatcherPlugin plugin;
        plugin.SetParameterValue(0, 3);
        std::vector<std::uint8_t> bytes = Chunk(9, 10);
        if (c.loaded == TPatcherStateResult::NotOurs) std::memset(bytes.data(), 0, 4);
        Stream in{bytes, c.step, 0, c.failAt, c.answer};
        EXPECT_EQ(plugin.LoadStateFrom([&](std::uint8_t* d, std::size_t n) { return in.Read(d, n); }), c.loaded);
        // A stream that ends early gives a short chunk, which loads what it holds.
        const bool took = c.loaded == TPatcherStateResult::Done;
        EXPECT_EQ(plugin.ParameterValue(0), took ? 9.0 : 3.0);
        EXPECT_EQ(plugin.ParameterValue(1), took ? 10.0 : 1.0);
        Stream out{{}, c.step, 0, c.failAt, c.answer};
        EXPECT_EQ(plugin.SaveStateTo([&](const std::uint8_t* d, std::size_t n) { return out.Write(d, n); }), c.saved);
    }
}

TEST(PatcherKit, ReporterTellsEachKindOncePerActivation) {
    SetStrictMode("0");
    CPatcherReporter reporter;
    std::vector<TPatcherMisbehaviour> told;
    const auto flush = [&] { reporter.Flush([&](TPatcherMisbehaviour kind) { told.push_back(kind); }); };
    flush();
    EXPECT_TRUE(told.empty());
    EXPECT_TRUE(reporter.Mark(TPatcherMisbehaviour::BufferLayout));
    EXPECT_FALSE(reporter.Mark(TPatcherMisbehaviour::BufferLayout));
    EXPECT_TRUE(reporter.Mark(TPatcherMisbehaviour::OutOfRange));
    EXPECT_TRUE(reporter.Marked());
    flush();
    reporter.Mark(TPatcherMisbehaviour::BufferLayout);
    flush();
    EXPECT_EQ(told, (std::vector{TPatcherMisbehaviour::OutOfRange, TPatcherMisbehaviour::BufferLayout}));
    reporter.Rearm();
    EXPECT_FALSE(reporter.Marked());
    flush();
    EXPECT_EQ(told.size(), 2u);
    EXPECT_TRUE(reporter.Mark(TPatcherMisbehaviour::BufferLayout));
    flush();
    EXPECT_EQ(told.size(), 3u);
}

TEST(PatcherKitDeathTest, StrictReporterFailsTheHostThatMisbehaves) {
    SetStrictMode("1");
    CPatcherReporter reporter;
    reporter.Mark(TPatcherMisbehaviour::StreamFailure);
    EXPECT_DEATH(reporter.Flush([](TPatcherMisbehaviour) {}), "strict mode: the host made a failing stream");
    SetStrictMode("0");
}

TEST(PatcherKit, ChannelMasksCountFromAndUpTo) {
    const struct {
        std::uint32_t from, count;
        std::uint64_t mask;
    } cases[] = {{2, 16, 0xFFFC}, {0, 16, 0xFFFF}, {0, 0, 0},      {2, 1, 0},   {16, 16, 0},
                 {0, 64, ~0ull},  {2, 70, ~3ull},  {63, 64, 1ull << 63}, {64, 64, 0}, {70, 80, 0}};
    for (const auto& c : cases) EXPECT_EQ(patcher_kit::ChannelMask(c.from, c.count), c.mask) << c.from << " " << c.count;
}

TEST(PatcherKit, TextsFitHostFieldsBothWays) {
    char narrow[6];
    patcher_kit::CopyText(narrow, sizeof narrow, "16 inputs");
    EXPECT_STREQ(narrow, "16 in");
    char16_t wide[8];
    patcher_kit::CopyText(wide, 8, "none\xC3");
    EXPECT_EQ(std::u16string(wide), u"none?");
    patcher_kit::CopyText(narrow, 0, "untouched");

    const struct {
        std::u16string text;
        bool read;
        std::string typed;
    } cases[] = {{u"none", true, "none"}, {u"", true, ""}, {u"n\u00f6ne", false, ""},
                 {std::u16string(63, u'x'), true, std::string(63, 'x')}, {std::u16string(64, u'x'), false, ""}};
    for (const auto& c : cases) {
        char typed[CPatcherPlugin::kLongestText];
        std::size_t length;
        const bool read = patcher_kit::ReadText(c.text.c_str(), typed, sizeof typed, length);
        EXPECT_EQ(read, c.read) << c.typed;
        if (read) {
            EXPECT_EQ(std::string(typed, length), c.typed);
        }
    }
    char typed[4];
    std::size_t length;
    EXPECT_FALSE(patcher_kit::ReadText(static_cast<const char*>(nullptr), typed, sizeof typed, length));
}

}  // namespace
