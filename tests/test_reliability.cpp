// The plug-in as real hosts treat it: odd lifecycles, requests from two
// threads at once, the audio thread's rule of no heap traffic, and a long
// soak against an independent model of the routing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "heap_traffic.h"
#include "plugin_under_test.h"
#include "routing_model.h"

namespace {

using routing_model::kChannels;
using State = std::vector<unsigned char>;

template <class T>
auto Bits(T x) {
    std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t> bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

struct Random {
    std::uint64_t state;
    std::uint64_t Next() {
        std::uint64_t x = state += 0x9E3779B97F4A7C15ull;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        return x ^ (x >> 31);
    }
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
    double Uniform(double lo, double hi) { return lo + (hi - lo) * static_cast<double>(Next() >> 11) * 0x1.0p-53; }
};

// Input c of frame j holds a number that no other input of that frame holds.
template <class Sample>
Sample Tagged(int channel, int frame) {
    return Sample(channel + 1 + kChannels * (frame % 4096));
}

template <class Sample>
void FillTagged(AudioBuffers<Sample>& buffers) {
    for (int c = 0; c < kChannels; ++c)
        for (std::size_t j = 0; j < buffers.in[c].size(); ++j) buffers.in[c][j] = Tagged<Sample>(c, int(j));
}

// Input channels (0-based, -1 for silence) that outputs 1 and 2 carry in a
// tagged block; -2 when an output carries anything else or changes its
// source within the block, or when outputs 3 to 16 are not silent.
template <class Sample>
std::pair<int, int> Sources(const AudioBuffers<Sample>& buffers) {
    constexpr int kUnseen = -3, kMixed = -2;
    int found[2] = {kUnseen, kUnseen};
    for (std::size_t j = 0; j < buffers.out[0].size(); ++j) {
        for (int c = 2; c < kChannels; ++c)
            if (Bits(buffers.out[c][j]) != Bits(Sample(0))) return {kMixed, kMixed};
        for (int o = 0; o < 2; ++o) {
            const Sample x = buffers.out[o][j];
            int source = x == Sample(0) ? -1 : kMixed;
            for (int c = 0; c < kChannels; ++c)
                if (Bits(x) == Bits(Tagged<Sample>(c, int(j)))) source = c;
            if (found[o] == kUnseen) found[o] = source;
            if (found[o] != source) found[o] = kMixed;
        }
    }
    return {found[0], found[1]};
}

template <class Sample = float>
std::pair<int, int> Sources(PluginInstance& plugin, int frames = 8) {
    AudioBuffers<Sample> buffers(kChannels, frames);
    FillTagged(buffers);
    buffers.Process(plugin.effect);
    return Sources(buffers);
}

void Route(PluginInstance& plugin, int input1, int input2) {
    plugin.SetParameter(0, float(input1) / 16.0f);
    plugin.SetParameter(1, float(input2) / 16.0f);
}

// ---------------------------------------------------------------------------
// Lifecycle quirks of real hosts

TEST(HostQuirks, RateAndBlockSizeSetBeforeOpen) {
    TestHost host;
    PluginInstance plugin;
    plugin.Dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    plugin.Dispatch(effSetBlockSize, 0, 64);
    plugin.Dispatch(effOpen);
    plugin.Dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(Sources(plugin, 64), std::pair(0, 1));
    Route(plugin, 7, 16);
    EXPECT_EQ(Sources<double>(plugin, 64), std::pair(7, -1));
}

// A second open clears the effect's variables again; the sliders survive it
// and the next resume routes by them.
TEST(HostQuirks, OpenTwice) {
    TestHost host;
    PluginInstance plugin;
    plugin.Dispatch(effOpen);
    plugin.Dispatch(effOpen);
    plugin.Dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(Sources(plugin), std::pair(0, 1));

    Route(plugin, 4, 11);
    plugin.Dispatch(effMainsChanged, 0, 0);
    plugin.Dispatch(effOpen);
    plugin.Dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(Sources(plugin), std::pair(4, 11));
    EXPECT_EQ(plugin.GetParameter(1), 11.0f / 16.0f);
}

// Opened but not yet resumed: no slider section has run since the open
// cleared the sources, so both outputs carry input 1 until the first resume.
TEST(HostQuirks, ProcessingBeforeTheFirstResume) {
    TestHost host;
    PluginInstance plugin;
    plugin.Dispatch(effOpen);
    EXPECT_EQ(Sources(plugin, 32), std::pair(0, 0));
    EXPECT_EQ(Sources<double>(plugin, 32), std::pair(0, 0));
    plugin.Dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(Sources(plugin, 32), std::pair(0, 1));
}

TEST(HostQuirks, SuspendAndResumeManyTimes) {
    TestHost host;
    PluginInstance plugin;
    plugin.Start();
    Route(plugin, 9, 2);
    for (int i = 0; i < 1000; ++i) {
        plugin.Dispatch(effMainsChanged, 0, 0);
        plugin.Dispatch(effMainsChanged, 0, 1);
        if (i % 100 == 0) {
            ASSERT_EQ(Sources(plugin), std::pair(9, 2)) << "after " << i + 1 << " resumes";
        }
    }
    EXPECT_EQ(Sources<double>(plugin), std::pair(9, 2));
    EXPECT_TRUE(host.CallsWith(audioMasterWantMidi).empty());
}

// The last save's buffer is the plug-in's own, and loading from it must not
// read it after the load has begun to replace it.
TEST(HostQuirks, StateLoadFromThePointerTheLastSaveReturned) {
    TestHost host;
    PluginInstance plugin;
    plugin.Start();
    Route(plugin, 12, 3);
    void* first = nullptr;
    ASSERT_EQ(plugin.Dispatch(effGetChunk, 0, 0, &first), 260);
    Route(plugin, 5, 6);
    void* last = nullptr;
    ASSERT_EQ(plugin.Dispatch(effGetChunk, 0, 0, &last), 260);
    const State saved(static_cast<unsigned char*>(last), static_cast<unsigned char*>(last) + 260);
    Route(plugin, 0, 0);
    EXPECT_EQ(Sources(plugin), std::pair(0, 0));

    EXPECT_EQ(plugin.Dispatch(effSetChunk, 0, 260, last), 260);
    EXPECT_EQ(Sources(plugin), std::pair(5, 6));
    EXPECT_EQ(plugin.SaveState(), saved);
}

// Chunks of other plug-ins: any bytes, any length, without the marker.
TEST(HostQuirks, ChunkFromAnotherPlugInIsIgnored) {
    TestHost host;
    PluginInstance plugin;
    plugin.Start();
    Route(plugin, 14, 8);
    const State before = plugin.SaveState();

    Random random{6};
    for (int i = 0; i < 500; ++i) {
        State chunk(random.Below(1025));
        for (unsigned char& b : chunk) b = static_cast<unsigned char>(random.Next());
        if (chunk.size() >= 4 && std::memcmp(chunk.data(), "\x00\x00\x7A\xC4", 4) == 0) chunk[3] = 0;
        ASSERT_EQ(plugin.LoadState(chunk), static_cast<VstIntPtr>(chunk.size()));
    }
    EXPECT_EQ(plugin.Dispatch(effSetChunk, 0, 260, nullptr), 260);
    EXPECT_EQ(plugin.Dispatch(effSetChunk, 0, -4, const_cast<unsigned char*>(before.data())), -4);
    EXPECT_EQ(plugin.SaveState(), before);
    EXPECT_EQ(Sources(plugin), std::pair(14, 8));
    EXPECT_EQ(plugin.GetParameter(0), 14.0f / 16.0f);
}

// Each instance is closed straight from processing, without a suspend.
TEST(HostQuirks, ThousandInstancesCreatedAndClosedInARow) {
    TestHost host;
    host.record = false;
    for (int i = 0; i < 1000; ++i) {
        PluginInstance plugin(i % 2 ? "VSTPluginMain" : "MAIN");
        ASSERT_NE(plugin.effect, nullptr);
        ASSERT_EQ(plugin.effect->magic, kEffectMagic);
        plugin.Start();
        Route(plugin, i % 17, (i + 5) % 17);
        const int expected[2] = {i % 17 == 16 ? -1 : i % 17, (i + 5) % 17 == 16 ? -1 : (i + 5) % 17};
        ASSERT_EQ(Sources(plugin, 4), std::pair(expected[0], expected[1])) << "instance " << i;
        ASSERT_EQ(plugin.SaveState().size(), 260u);
        ASSERT_EQ(plugin.Dispatch(effClose), 1);
    }
}

// A normalised value near the float maximum gives a slider value that no
// 32-bit float holds: a saved state could not restore it, so it is refused.
TEST(HostQuirks, ParameterValuesBeyondWhatAStateCarriesAreRefused) {
    TestHost host;
    PluginInstance plugin;
    plugin.Start();
    Route(plugin, 6, 7);
    for (float huge : {std::numeric_limits<float>::max(), -2.6e38f, 2.2e37f}) {
        plugin.SetParameter(0, huge);
        EXPECT_EQ(plugin.GetParameter(0), 6.0f / 16.0f) << huge;
    }
    plugin.SetParameter(1, 2.0e37f);
    const float accepted = plugin.GetParameter(1);
    EXPECT_EQ(accepted, 2.0e37f);
    plugin.LoadState(plugin.SaveState());
    EXPECT_EQ(plugin.GetParameter(1), accepted);
}

// ---------------------------------------------------------------------------
// Threads

// Each thread has its own host; every instance routes as its own sliders say.
TEST(HostThreads, TwoInstancesProcessOnTwoThreadsAtOnce) {
    TestHost host;
    PluginInstance a, b;
    a.Start();
    b.Start();
    Route(a, 3, 4);
    Route(b, 10, 16);

    auto run = [](PluginInstance& plugin, std::pair<int, int> expected, int& mismatches) {
        TestHost threadHost;
        threadHost.record = false;
        AudioBuffers<float> single(kChannels, 256);
        AudioBuffers<double> twice(kChannels, 256);
        FillTagged(single);
        FillTagged(twice);
        for (int block = 0; block < 2000; ++block) {
            if (block % 2) {
                single.Process(plugin.effect);
                mismatches += Sources(single) != expected;
            } else {
                twice.Process(plugin.effect);
                mismatches += Sources(twice) != expected;
            }
        }
    };
    int mismatchesA = 0, mismatchesB = 0;
    std::thread ta(run, std::ref(a), std::pair(3, 4), std::ref(mismatchesA));
    std::thread tb(run, std::ref(b), std::pair(10, -1), std::ref(mismatchesB));
    ta.join();
    tb.join();
    EXPECT_EQ(mismatchesA, 0);
    EXPECT_EQ(mismatchesB, 0);
}

// The audio thread processes while another thread sets and reads parameters,
// saves and loads state and resumes. Every block must be well-formed: outputs
// 3 to 16 silent, outputs 1 and 2 carrying inputs of their own frame (a change
// may land between two frames). Run under ThreadSanitizer, this is also the
// check that nothing the two threads share is accessed without atomics.
TEST(HostThreads, ParameterChangesAndStateReloadsWhileProcessing) {
    TestHost host;
    host.record = false;
    PluginInstance plugin;
    plugin.Start();

    std::atomic<bool> done{false};
    std::atomic<int> controlSteps{0};
    int badFrames = 0;
    std::thread audio([&] {
        TestHost audioHost;
        audioHost.record = false;
        AudioBuffers<float> single(kChannels, 128);
        AudioBuffers<double> twice(kChannels, 128);
        FillTagged(single);
        FillTagged(twice);
        auto check = [&](const auto& buffers) {
            for (std::size_t j = 0; j < buffers.out[0].size(); ++j) {
                for (int c = 2; c < kChannels; ++c) badFrames += buffers.out[c][j] != 0;
                for (int o = 0; o < 2; ++o) {
                    const double x = buffers.out[o][j];
                    const double source = x - 1 - kChannels * double(j);
                    badFrames += x != 0 && !(source >= 0 && source < kChannels && source == std::floor(source));
                }
            }
        };
        for (int block = 0; block < 3000 || controlSteps.load() < 3000; ++block) {
            if (block % 2) {
                single.Process(plugin.effect);
                check(single);
            } else {
                twice.Process(plugin.effect);
                check(twice);
            }
        }
        done = true;
    });

    Random random{42};
    std::vector<State> states{plugin.SaveState()};
    int badAnswers = 0;
    while (!done) {
        const auto step = controlSteps.fetch_add(1);
        const auto parameter = static_cast<VstInt32>(random.Below(2));
        plugin.SetParameter(parameter, float(random.Below(17)) / 16.0f);
        const float answer = plugin.GetParameter(parameter);
        badAnswers += !(answer >= 0.0f && answer <= 1.0f && answer * 16.0f == std::floor(answer * 16.0f));
        if (step % 8 == 0) {
            states.push_back(plugin.SaveState());
            badAnswers += states.back().size() != 260;
            plugin.LoadState(states[random.Below(static_cast<std::uint32_t>(states.size()))]);
        }
        if (step % 64 == 0) plugin.Dispatch(effMainsChanged, 0, 1);
    }
    audio.join();
    EXPECT_EQ(badFrames, 0);
    EXPECT_EQ(badAnswers, 0);
    EXPECT_GE(controlSteps.load(), 3000);

    Route(plugin, 15, 1);
    EXPECT_EQ(Sources(plugin), std::pair(15, 1));
}

// ---------------------------------------------------------------------------
// The audio thread's rules

TEST(AudioThread, ProcessingParameterSetsAndTheBlockSectionNeverTouchTheHeap) {
    if (!kCountsLibrary) GTEST_SKIP() << "the library's allocations cannot be counted from here";
    TestHost host;
    host.record = false;
    host.time.tempo = 120.0;
    host.time.flags = kVstTransportPlaying | kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;
    PluginInstance plugin;
    plugin.Start();
    AudioBuffers<float> single(kChannels, 512);
    AudioBuffers<double> twice(kChannels, 512);
    AudioBuffers<float> empty(kChannels, 0);
    FillTagged(single);
    FillTagged(twice);

    const HeapTraffic start = HeapTraffic::Now();
    for (int i = 0; i < 200; ++i) {
        single.Process(plugin.effect);
        twice.Process(plugin.effect);
        empty.Process(plugin.effect);
        plugin.effect->processReplacing(plugin.effect, single.outPtr.data(), single.outPtr.data(), 512);
        plugin.SetParameter(i % 2, float(i % 17) / 16.0f);
        plugin.GetParameter(i % 2);
    }
    const HeapTraffic audio = HeapTraffic::Now().Since(start);
    EXPECT_EQ(audio.news, 0u);
    EXPECT_EQ(audio.deletes, 0u);
    EXPECT_EQ(audio.mallocs, 0u);
    EXPECT_EQ(audio.frees, 0u);

    // The count sees into the library: a state load copies the chunk.
    const HeapTraffic before = HeapTraffic::Now();
    plugin.LoadState(plugin.SaveState());
    const HeapTraffic load = HeapTraffic::Now().Since(before);
    EXPECT_GT(load.news, 0u);
    if (kCountsMalloc) {
        EXPECT_GT(load.mallocs, 0u);
    }
}

// ---------------------------------------------------------------------------
// Soak against the model

std::uint64_t SoakFrames() {
    if (const char* frames = std::getenv("RELIABILITY_SOAK_FRAMES")) return std::strtoull(frames, nullptr, 10);
    return 10'000'000;
}

// Mostly plain audio, now and then a value the routing must treat with care.
template <class Sample>
Sample SoakSample(Random& random) {
    const std::uint64_t r = random.Next();
    if ((r & 1023) != 0) return static_cast<Sample>(static_cast<double>(r >> 11) * 0x1.0p-52 - 1.0);
    switch ((r >> 10) % 6) {
    case 0: return std::numeric_limits<Sample>::quiet_NaN();
    case 1: return std::numeric_limits<Sample>::infinity();
    case 2: return -std::numeric_limits<Sample>::infinity();
    case 3: return Sample(-0.0);
    case 4: return std::numeric_limits<Sample>::denorm_min();
    default: return std::numeric_limits<Sample>::max();
    }
}

float SoakParameterValue(Random& random) {
    switch (random.Below(10)) {
    case 0: return static_cast<float>(random.Uniform(-4.0, 5.0));
    case 1:
    case 2: return static_cast<float>(random.Uniform(0.0, 1.0));
    default: return float(random.Below(17)) / 16.0f;
    }
}

float SoakSliderValue(Random& random) {
    switch (random.Below(8)) {
    case 0: return std::numeric_limits<float>::quiet_NaN();
    case 1: return random.Below(2) ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    case 2: return static_cast<float>(random.Uniform(-200.0, 200.0));
    default: return float(static_cast<int>(random.Below(141)) - 70);
    }
}

class Soak {
public:
    explicit Soak(std::uint64_t seed) : random{seed} {}

    // One host event between blocks: a parameter change or read, a save, or
    // a load of an earlier state, of a new one, or of someone else's.
    void HostEvent() {
        switch (random.Below(16)) {
        case 0:
        case 1:
        case 2:
        case 3: {
            const VstInt32 parameter = random.Below(8) == 0 ? static_cast<VstInt32>(random.Below(5)) - 2
                                                            : static_cast<VstInt32>(random.Below(2));
            const float value = SoakParameterValue(random);
            plugin.SetParameter(parameter, value);
            model.SetParameter(parameter, value);
            break;
        }
        case 4: {
            const auto parameter = static_cast<VstInt32>(random.Below(4)) - 1;
            Expect(Bits(plugin.GetParameter(parameter)) == Bits(model.GetParameter(parameter)), "getParameter");
            break;
        }
        case 5:
            saved.push_back(plugin.SaveState());
            Expect(saved.back() == model.SaveState(), "saved state");
            if (saved.size() > 8) saved.erase(saved.begin());
            break;
        case 6:
            if (!saved.empty()) Load(saved[random.Below(static_cast<std::uint32_t>(saved.size()))]);
            break;
        case 7: {
            State chunk = routing_model::Model().SaveState();
            chunk.resize(sizeof(float) * (1 + random.Below(70)));
            for (std::size_t i = sizeof(float); i < chunk.size(); i += sizeof(float)) {
                const float value = SoakSliderValue(random);
                std::memcpy(chunk.data() + i, &value, sizeof value);
            }
            Load(chunk);
            break;
        }
        case 8: {
            State chunk(random.Below(300));
            for (unsigned char& b : chunk) b = static_cast<unsigned char>(random.Next());
            Load(chunk);
            break;
        }
        case 9: {
            void* data = nullptr;
            const VstIntPtr size = plugin.Dispatch(effGetChunk, 0, 0, &data);
            plugin.Dispatch(effSetChunk, 0, size, data);
            break;
        }
        default: break;
        }
    }

    template <class Sample>
    void Block(AudioBuffers<Sample>& buffers, int frames) {
        const bool inPlace = random.Below(4) == 0;
        for (int c = 0; c < kChannels; ++c) {
            for (int j = 0; j < frames; ++j) buffers.in[c][j] = SoakSample<Sample>(random);
            if (inPlace) std::copy_n(buffers.in[c].begin(), frames, buffers.out[c].begin());
        }
        Sample** inputs = inPlace ? buffers.outPtr.data() : buffers.inPtr.data();
        if constexpr (sizeof(Sample) == sizeof(float))
            plugin.effect->processReplacing(plugin.effect, inputs, buffers.outPtr.data(), frames);
        else
            plugin.effect->processDoubleReplacing(plugin.effect, inputs, buffers.outPtr.data(), frames);

        const int sources[2] = {model.Source(0), model.Source(1)};
        Sample frame[kChannels];
        for (int j = 0; j < frames && ok; ++j) {
            for (int c = 0; c < kChannels; ++c) frame[c] = buffers.in[c][j];
            for (int c = 0; c < kChannels; ++c) {
                const Sample expected = c < 2 ? routing_model::Routed(sources[c], frame) : Sample(0);
                Expect(Bits(buffers.out[c][j]) == Bits(expected), "output sample");
            }
        }
        soaked += static_cast<std::uint64_t>(frames);
    }

    void Run(std::uint64_t frames) {
        plugin.Start();
        AudioBuffers<float> single(kChannels, 4096);
        AudioBuffers<double> twice(kChannels, 4096);
        while (soaked < frames && ok) {
            HostEvent();
            const std::uint32_t size = random.Below(1 + (random.Below(10) < 5   ? 256
                                                         : random.Below(10) < 8 ? 2048
                                                                                : 4096));
            const int n = static_cast<int>(std::min<std::uint64_t>(size, frames - soaked));
            if (random.Below(2))
                Block(single, n);
            else
                Block(twice, n);
            ++blocks;
        }
    }

    std::uint64_t soaked = 0;
    std::uint64_t blocks = 0;
    bool ok = true;

private:
    void Load(const State& chunk) {
        plugin.LoadState(chunk);
        model.LoadState(chunk.data(), chunk.size());
    }

    void Expect(bool agrees, const char* what) {
        if (agrees || !ok) return;
        ok = false;
        ADD_FAILURE() << what << " differs from the model after " << soaked << " frames, in block " << blocks;
    }

    Random random;
    TestHost host;
    PluginInstance plugin;
    routing_model::Model model;
    std::vector<State> saved;
};

TEST(Soak, OutputsEqualTheModelFrameForFrame) {
    const std::uint64_t frames = SoakFrames();
    auto soak = std::make_unique<Soak>(20240611);
    soak->Run(frames);
    EXPECT_TRUE(soak->ok);
    EXPECT_EQ(soak->soaked, frames);
    std::printf("soaked %llu frames in %llu blocks\n", static_cast<unsigned long long>(soak->soaked),
                static_cast<unsigned long long>(soak->blocks));
}

}  // namespace
