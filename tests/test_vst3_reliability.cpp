// The VST 3 plug-in under the audio thread's rules: no heap traffic in
// process, the controller's and component's other calls while the audio
// thread processes (run under ThreadSanitizer by `./run tsan`), and
// instances that leave nothing behind.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "heap_traffic.h"
#include "instance_cycles.h"
#include "tagged_audio.h"
#include "reliability_checks.h"
#include "vst3_host.h"

TEST(AudioThread, Vst3ProcessNeverTouchesTheHeap) {
    if (!kCountsLibrary) GTEST_SKIP() << "the library's allocations cannot be counted from here";
    Vst3Instance plugin;
    plugin.Start(512);
    Vst3Audio<float> single(512);
    Vst3Audio<double> twice(512, true);
    single.Fill(Tagged<float>);
    twice.Fill(Tagged<double>);
    Vst3Changes changes;
    changes.Add(0, 0, 0.25).Add(0, 100, 2.7 / 16).Add(1, 100, 1.0).Add(1, 511, 3 / 16.0).Add(9, 7, 0.5);
    TVst3ProcessContext context{};
    context.State = kVst3ContextTempoValid | kVst3ContextPlaying | kVst3ContextProjectTimeMusicValid |
                    kVst3ContextTimeSigValid;
    context.Tempo = 128.0;
    context.TimeSigNumerator = context.TimeSigDenominator = 4;

    ExpectNoHeapTraffic([&](int) {
        context.ProjectTimeMusic += 1.0;
        plugin.Process(single, &changes, &context);
        plugin.Process(twice, &changes);
        plugin.ProcessBuses<float>(nullptr, 0, nullptr, 0, 0, &changes);
    });
    EXPECT_EQ(BadFrames(single) + BadFrames(twice), 0);
}

// The host's other threads read and set everything a host reads and sets on
// the controller, and save and load the component's state, while the audio
// thread processes one instance and a third thread another. Blocks stay
// well-formed throughout.
TEST(HostThreads, Vst3ControllerAndStateCallsWhileTheAudioThreadProcesses) {
    Vst3Instance plugin, other;
    plugin.Start(256);
    other.Start(256);
    other.Route(10, 16);

    Vst3Audio<float> single(128);
    Vst3Audio<double> twice(128, true);
    Vst3Changes changes;
    const auto audioBlock = [&](int block) {
        changes.Clear();
        changes.Add(block % 2, block % 128, (block % 17) / 16.0);
        if (block % 2) {
            single.Fill(Tagged<float>);
            plugin.Process(single, &changes);
            return BadFrames(single);
        }
        twice.Fill(Tagged<double>);
        plugin.Process(twice, &changes);
        return BadFrames(twice);
    };
    Vst3Audio<float> otherAudio(64);
    const auto otherBlock = [&] {
        otherAudio.Fill(Tagged<float>);
        other.Process(otherAudio);
        return Sources(otherAudio) != std::pair(10, -1);
    };
    TVst3EditController* controller = plugin.controller;
    std::vector<std::vector<std::uint8_t>> states{plugin.Save()};
    const auto mainStep = [&](int step) {
        int badAnswers = 0;
        const auto id = static_cast<TVst3ParamId>(step % 2);
        const double value = plugin.Normalized(id);
        badAnswers += !(value >= 0.0 && value <= 1.0 && value * 16 == std::floor(value * 16));
        TVst3String128 text{};
        double back = -1.0;
        badAnswers += controller->Vtbl->GetParamStringByValue(controller, id, value, text) != kVst3ResultOk;
        badAnswers += controller->Vtbl->GetParamValueByString(controller, id, text, &back) != kVst3ResultOk ||
                      back != value;
        badAnswers += controller->Vtbl->SetParamNormalized(controller, id, (step % 17) / 16.0) != kVst3ResultOk;
        badAnswers += plugin.processor->Vtbl->GetLatencySamples(plugin.processor) != 0;
        if (step % 8 == 0) {
            states.push_back(plugin.Save(step % 3 + 1));
            badAnswers += states.back().size() != 260;
            badAnswers += plugin.LoadBoth(states[static_cast<std::size_t>(step) % states.size()], 64) != kVst3ResultOk;
        }
        return badAnswers;
    };
    ExpectMainThreadCallsBesideTheAudioThread(audioBlock, otherBlock, mainStep);
}

// A host's whole use of a plug-in, a hundred times: what one takes, it gives back.
TEST(Vst3Instances, HundredCreateDestroyCyclesLeaveNothingBehind) {
    const auto cycle = [&](int i, int step) {
        Vst3Instance plugin;
        plugin.Start(i % 2 ? 64 : 100000, i % 3 ? kVst3Sample32 : kVst3Sample64);
        plugin.Route(step, 3);
        Vst3Audio<float> audio(64, i % 2);
        audio.Fill(Tagged<float>);
        plugin.Process(audio);
        plugin.LoadBoth(plugin.Save(7));
        return Sources(audio);
    };
    ExpectHundredCyclesLeaveNothingBehind(cycle);
}

// Short of memory, a host's calls fail with an answer: nothing thrown
// reaches the host. A short chunk loaded makes the next save allocate.
TEST(Vst3Instances, ShortOfMemoryCallsFailAndThrowNothing) {
    if (!kCountsMalloc) GTEST_SKIP() << "allocations cannot be refused from here";
    Vst3Instance plugin;
    ASSERT_EQ(plugin.Load(ShortChunk()), kVst3ResultOk);
    Vst3Stream stream;
    stream.bytes.reserve(4096);
    TVst3PluginFactory* factory = Vst3Module::Loaded().Factory();
    const TVst3Uid processorClass = kVst3ProcessorClass.Uid();
    void* another = &another;
    std::u16string text = u"input channel 3";
    double value = -1.0;
    const TVst3Result saved = Refused([&] { return plugin.component->Vtbl->GetState(plugin.component, stream.Interface()); });
    const TVst3Result created = Refused(
        [&] { return factory->Vtbl->CreateInstance(factory, processorClass.Bytes, kVst3ComponentIid.Bytes, &another); });
    const TVst3Result parsed = Refused(
        [&] { return plugin.controller->Vtbl->GetParamValueByString(plugin.controller, 0, text.data(), &value); });
    EXPECT_EQ(saved, kVst3ResultFalse);
    EXPECT_EQ(created, kVst3OutOfMemory);
    EXPECT_EQ(another, nullptr);
    EXPECT_EQ(parsed, kVst3ResultOk);
    EXPECT_EQ(value, 2 / 16.0);
    EXPECT_EQ(plugin.Save().size(), 260u);
}
