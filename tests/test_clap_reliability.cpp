// The CLAP plug-in under the audio thread's rules: no heap traffic in
// process or flush, main-thread calls while the audio thread processes (run
// under ThreadSanitizer by `./run tsan`), and instances that leave nothing
// behind.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <utility>

#include "clap_host.h"
#include "heap_traffic.h"
#include "instance_cycles.h"
#include "tagged_audio.h"

TEST(AudioThread, ClapProcessEventsAndFlushNeverTouchTheHeap) {
    if (!kCountsLibrary) GTEST_SKIP() << "the library's allocations cannot be counted from here";
    ClapTestHost host;
    ClapInstance plugin(host);
    plugin.Start(512);
    ClapAudio<float> single(512);
    ClapAudio<double> twice(512, 0);
    ClapAudio<float> overlapping(512, 3);
    single.Fill(Tagged<float>);
    twice.Fill(Tagged<double>);
    overlapping.Fill(Tagged<float>);
    ClapEvents events;
    events.Param(0, 0, 4).Param(100, 1, 16).Param(100, 0, 2.7).Param(511, 1, 3).Odd(7, 0, 1, kClapEventNoteOn, 0);
    TClapEventTransport transport{};
    transport.Flags = kClapTransportHasTempo | kClapTransportIsPlaying | kClapTransportHasBeatsTimeline |
                      kClapTransportHasTimeSignature;
    transport.Tempo = 128.0;
    transport.TimeSigNumerator = transport.TimeSigDenominator = 4;

    const HeapTraffic start = HeapTraffic::Now();
    for (int i = 0; i < 200; ++i) {
        transport.SongPosBeats += kClapBeatTimeFactor;
        plugin.Process(single, &events, &transport);
        plugin.Process(twice, &events);
        plugin.Process(overlapping, &events, &transport);
        plugin.Flush(events);
    }
    const HeapTraffic audio = HeapTraffic::Now().Since(start);
    EXPECT_EQ(audio.news, 0u);
    EXPECT_EQ(audio.deletes, 0u);
    EXPECT_EQ(audio.mallocs, 0u);
    EXPECT_EQ(audio.frees, 0u);
    EXPECT_EQ(BadFrames(single) + BadFrames(twice), 0);
}

// The host's main thread reads and sets everything a host reads and sets
// while the audio thread processes one instance and flushes, and a third
// thread processes another instance. Blocks stay well-formed throughout.
TEST(HostThreads, ClapMainThreadCallsWhileTheAudioThreadProcesses) {
    ClapTestHost host;
    ClapInstance plugin(host), other(host);
    plugin.Start(256);
    other.Start(256);
    other.Route(10, 16);

    std::atomic<bool> done{false};
    std::atomic<int> mainSteps{0};
    int badFrames = 0, otherMismatches = 0;
    std::thread audio([&] {
        ClapAudio<float> single(128);
        ClapAudio<double> twice(128, 0);
        ClapEvents events;
        for (int block = 0; block < 3000 || mainSteps.load() < 2000; ++block) {
            events.Clear();
            events.Param(static_cast<std::uint32_t>(block % 128), block % 2, block % 17);
            if (block % 2) {
                single.Fill(Tagged<float>);
                plugin.Process(single, &events);
                badFrames += BadFrames(single);
            } else {
                twice.Fill(Tagged<double>);
                plugin.Process(twice, &events);
                badFrames += BadFrames(twice);
            }
            if (block % 16 == 0) plugin.Flush(events);
        }
        done = true;
    });
    std::thread third([&] {
        ClapAudio<float> audio(64);
        while (!done) {
            audio.Fill(Tagged<float>);
            other.Process(audio);
            otherMismatches += Sources(audio) != std::pair(10, -1);
        }
    });

    std::vector<std::vector<std::uint8_t>> states{plugin.Save()};
    int badAnswers = 0;
    while (!done) {
        const int step = mainSteps.fetch_add(1);
        const auto id = static_cast<TClapId>(step % 2);
        const double value = plugin.Value(id);
        badAnswers += !(value >= 0.0 && value <= 16.0 && value == std::floor(value));
        char text[64];
        double back = -1.0;
        badAnswers += !plugin.params->ValueToText(plugin.plugin, id, value, text, sizeof text);
        badAnswers += !plugin.params->TextToValue(plugin.plugin, id, text, &back) || back != value;
        TClapParamInfo info;
        badAnswers += !plugin.params->GetInfo(plugin.plugin, id, &info);
        badAnswers += plugin.latency->Get(plugin.plugin) != 0;
        if (step % 8 == 0) {
            states.push_back(plugin.Save(step % 3 + 1));
            badAnswers += states.back().size() != 260;
            badAnswers += !plugin.Load(states[static_cast<std::size_t>(step) % states.size()], 64);
        }
    }
    audio.join();
    third.join();
    EXPECT_EQ(badFrames, 0);
    EXPECT_EQ(otherMismatches, 0);
    EXPECT_EQ(badAnswers, 0);
    EXPECT_EQ(host.misplacedCalls, 0);
    EXPECT_GE(mainSteps.load(), 2000);
}

// A host's whole use of an instance, a hundred times: what one takes, it
// gives back.
TEST(ClapInstances, HundredCreateDestroyCyclesLeaveNothingBehind) {
    ClapTestHost host;
    const auto cycle = [&](int i) {
        ClapInstance plugin(host);
        plugin.Start(i % 2 ? 64 : 100000);
        plugin.Route(i % 17, 3);
        ClapAudio<float> audio(64, i % 3 - 1);
        audio.Fill(Tagged<float>);
        plugin.Process(audio);
        plugin.Load(plugin.Save(7));
        return Sources(audio) == std::pair(i % 17 == 16 ? -1 : i % 17, 3);
    };
    ExpectHundredCyclesLeaveNothingBehind(cycle);
}

// Short of memory, a host's calls fail the way CLAP allows: nothing thrown
// reaches the host. A short chunk loaded makes the next save allocate.
TEST(ClapInstances, ShortOfMemoryCallsFailAndThrowNothing) {
    if (!kCountsMalloc) GTEST_SKIP() << "allocations cannot be refused from here";
    ClapTestHost host;
    ClapInstance plugin(host);
    const float shortChunk[] = {-1000.0f, 5.0f};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(shortChunk);
    ASSERT_TRUE(plugin.Load(std::vector<std::uint8_t>(bytes, bytes + sizeof shortChunk)));
    ClapStream stream;
    stream.bytes.reserve(4096);
    const TClapOStream output = stream.Output();
    const TClapPluginFactory& factory = ClapModule::Loaded().Factory();
    double value = -1.0;
    heap::refusals = 1;
    const bool saved = plugin.state->Save(plugin.plugin, &output);
    heap::refusals = 1;
    const TClapPlugin* another = factory.CreatePlugin(&factory, host.Record(), kClapPluginId);
    heap::refusals = 1;
    const bool parsed = plugin.params->TextToValue(plugin.plugin, 0, "input channel 3", &value);
    heap::refusals = 0;
    EXPECT_FALSE(saved);
    EXPECT_EQ(another, nullptr);
    EXPECT_TRUE(parsed);
    EXPECT_EQ(value, 2.0);
    EXPECT_EQ(plugin.Save().size(), 260u);
}
