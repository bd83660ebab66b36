// The CLAP plug-in under the audio thread's rules: no heap traffic in
// process or flush, main-thread calls while the audio thread processes (run
// under ThreadSanitizer by `./run tsan`), and instances that leave nothing
// behind.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "clap_host.h"
#include "heap_traffic.h"
#include "instance_cycles.h"
#include "tagged_audio.h"
#include "reliability_checks.h"

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

    ExpectNoHeapTraffic([&](int) {
        transport.SongPosBeats += kClapBeatTimeFactor;
        plugin.Process(single, &events, &transport);
        plugin.Process(twice, &events);
        plugin.Process(overlapping, &events, &transport);
        plugin.Flush(events);
    });
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

    ClapAudio<float> single(128);
    ClapAudio<double> twice(128, 0);
    ClapEvents events;
    const auto audioBlock = [&](int block) {
        events.Clear();
        events.Param(static_cast<std::uint32_t>(block % 128), block % 2, block % 17);
        int bad;
        if (block % 2) {
            single.Fill(Tagged<float>);
            plugin.Process(single, &events);
            bad = BadFrames(single);
        } else {
            twice.Fill(Tagged<double>);
            plugin.Process(twice, &events);
            bad = BadFrames(twice);
        }
        if (block % 16 == 0) plugin.Flush(events);
        return bad;
    };
    ClapAudio<float> otherAudio(64);
    const auto otherBlock = [&] {
        otherAudio.Fill(Tagged<float>);
        other.Process(otherAudio);
        return Sources(otherAudio) != std::pair(10, -1);
    };
    std::vector<std::vector<std::uint8_t>> states{plugin.Save()};
    const auto mainStep = [&](int step) {
        int badAnswers = 0;
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
        return badAnswers;
    };
    ExpectMainThreadCallsBesideTheAudioThread(audioBlock, otherBlock, mainStep);
    EXPECT_EQ(host.misplacedCalls, 0);
}

// A host's whole use of an instance, a hundred times: what one takes, it
// gives back.
TEST(ClapInstances, HundredCreateDestroyCyclesLeaveNothingBehind) {
    ClapTestHost host;
    const auto cycle = [&](int i, int step) {
        ClapInstance plugin(host);
        plugin.Start(i % 2 ? 64 : 100000);
        plugin.Route(step, 3);
        ClapAudio<float> audio(64, i % 3 - 1);
        audio.Fill(Tagged<float>);
        plugin.Process(audio);
        plugin.Load(plugin.Save(7));
        return Sources(audio);
    };
    ExpectHundredCyclesLeaveNothingBehind(cycle);
}

// Short of memory, a host's calls fail the way CLAP allows: nothing thrown
// reaches the host. A short chunk loaded makes the next save allocate.
TEST(ClapInstances, ShortOfMemoryCallsFailAndThrowNothing) {
    if (!kCountsMalloc) GTEST_SKIP() << "allocations cannot be refused from here";
    ClapTestHost host;
    ClapInstance plugin(host);
    ASSERT_TRUE(plugin.Load(ShortChunk()));
    ClapStream stream;
    stream.bytes.reserve(4096);
    const TClapOStream output = stream.Output();
    const TClapPluginFactory& factory = ClapModule::Loaded().Factory();
    double value = -1.0;
    const bool saved = Refused([&] { return plugin.state->Save(plugin.plugin, &output); });
    const TClapPlugin* another = Refused([&] { return factory.CreatePlugin(&factory, host.Record(), kClapPluginId); });
    const bool parsed = Refused([&] { return plugin.params->TextToValue(plugin.plugin, 0, "input channel 3", &value); });
    EXPECT_FALSE(saved);
    EXPECT_EQ(another, nullptr);
    EXPECT_TRUE(parsed);
    EXPECT_EQ(value, 2.0);
    EXPECT_EQ(plugin.Save().size(), 260u);
}
