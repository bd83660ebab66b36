// The built CLAP module, loaded through clap_entry and driven only as a host
// drives it: factory, ports, parameters and texts, routing in both
// precisions with any buffers, sample-accurate events, lifecycles, hosts
// with and without extensions, and state shared with the VST 2 plug-in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "block_transport.h"
#include "clap_host.h"
#include "clap_plugin.h"
#include "patcher_effect.h"
#include "plugin_under_test.h"
#include "routed_outputs.h"
#include "routing_model.h"
#include "strict_mode.h"
#include "tagged_audio.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kNone = kRouteNone;
constexpr std::uint64_t kSilentOutputs = 0xFFFC;
using routing_model::Chunk;

// Every output of the block as `source(output, frame)` routes it (kNone:
// silence), and outputs 3 to 16 marked constant, as is a routed one whose
// source is "none" all through the block.
template <class Sample, class Source>
void ExpectRouted(const ClapAudio<Sample>& audio, Source source) {
    std::uint64_t constant = kSilentOutputs;
    for (int o = 0; o < 2; ++o) {
        bool none = true;
        for (int j = 0; j < audio.frames; ++j) none &= source(o, j) == kNone;
        if (none) constant |= std::uint64_t{1} << o;
    }
    ExpectOutputsRouted(audio, source);
    EXPECT_EQ(audio.outputBuffer.ConstantMask, constant);
}

template <class Sample>
void ExpectRouted(const ClapAudio<Sample>& audio, int source1, int source2) {
    ExpectRouted(audio, [&](int o, int) { return o == 0 ? source1 : source2; });
}

}  // namespace

TEST(ClapEntry, FactoryAnswersOnlyWhatItHasWhateverInitAndDeinitCalls) {
    const TClapPluginEntry& entry = ClapModule::Loaded().Entry();
    EXPECT_EQ(entry.ClapVersion.Major, 1u);
    ASSERT_TRUE(entry.Init(ClapPluginPath().c_str()));  // nested in the module's own
    entry.Deinit();
    ASSERT_NE(entry.GetFactory(kClapPluginFactoryId), nullptr);
    for (const char* id : {"clap.plugin-factory.draft", "clap.preset-discovery-factory/2", "", (const char*)nullptr})
        EXPECT_EQ(entry.GetFactory(id), nullptr) << (id ? id : "null");

    const TClapPluginFactory& factory = ClapModule::Loaded().Factory();
    ASSERT_EQ(factory.GetPluginCount(&factory), 1u);
    EXPECT_EQ(factory.GetPluginDescriptor(&factory, 1), nullptr);
    const TClapPluginDescriptor* d = factory.GetPluginDescriptor(&factory, 0);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ClapVersion.Major, 1u);
    EXPECT_STREQ(d->Id, kClapPluginId);
    EXPECT_STREQ(d->Name, "Brindlefox_multi-channel patcher 16 ins to 2 outs");
    EXPECT_STREQ(d->Vendor, "Brindlefox");
    EXPECT_STREQ(d->Version, "1.2.0");
    ASSERT_NE(d->Description, nullptr);
    EXPECT_GT(std::strlen(d->Description), 20u);
    EXPECT_EQ(std::strchr(d->Description, '\n'), nullptr);
    for (const char* text : {d->Url, d->ManualUrl, d->SupportUrl}) EXPECT_STREQ(text, "");
    ASSERT_NE(d->Features, nullptr);
    std::vector<std::string> features;
    for (const char* const* f = d->Features; *f; ++f) features.push_back(*f);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "utility"}));

    ClapTestHost host;
    for (const char* id : {"com.brindlefox.multichannel-patcher2", "com.brindlefox", "", (const char*)nullptr})
        EXPECT_EQ(factory.CreatePlugin(&factory, host.Record(), id), nullptr) << (id ? id : "null");
    EXPECT_EQ(factory.CreatePlugin(&factory, nullptr, kClapPluginId), nullptr);

    // Wrappers and scanners deinit unpaired, even twice: nothing changes.
    entry.Deinit();
    entry.Deinit();
    EXPECT_EQ(entry.GetFactory(kClapPluginFactoryId), &factory);
    EXPECT_EQ(factory.GetPluginCount(&factory), 1u);
    EXPECT_EQ(factory.GetPluginDescriptor(&factory, 0), d);
    const TClapPlugin* plugin = factory.CreatePlugin(&factory, host.Record(), kClapPluginId);
    ASSERT_NE(plugin, nullptr);
    plugin->Destroy(plugin);
    ASSERT_TRUE(entry.Init(ClapPluginPath().c_str()));
}

TEST(ClapPlugin, PortsAndParametersDescribeTheRouting) {
    ClapTestHost host;
    ClapInstance plugin(host);
    ASSERT_TRUE(plugin.ports && plugin.params && plugin.state && plugin.latency);
    EXPECT_EQ(plugin.plugin->GetExtension(plugin.plugin, "clap.gui"), nullptr);
    EXPECT_EQ(plugin.plugin->GetExtension(plugin.plugin, nullptr), nullptr);

    for (bool isInput : {true, false}) {
        ASSERT_EQ(plugin.ports->Count(plugin.plugin, isInput), 1u);
        TClapAudioPortInfo info{};
        ASSERT_TRUE(plugin.ports->Get(plugin.plugin, 0, isInput, &info));
        EXPECT_EQ(info.Id, 0u);
        EXPECT_EQ(info.ChannelCount, 16u);
        EXPECT_EQ(info.Flags, kClapAudioPortIsMain | kClapAudioPortSupports64Bits | kClapAudioPortRequiresCommonSampleSize);
        EXPECT_EQ(info.InPlacePair, 0u);
        EXPECT_GT(std::strlen(info.Name), 0u);
        EXPECT_FALSE(plugin.ports->Get(plugin.plugin, 1, isInput, &info));
    }

    ASSERT_EQ(plugin.params->Count(plugin.plugin), 2u);
    for (std::uint32_t i = 0; i < 2; ++i) {
        TClapParamInfo info{};
        ASSERT_TRUE(plugin.params->GetInfo(plugin.plugin, i, &info));
        EXPECT_EQ(info.Id, i);
        EXPECT_EQ(std::string(info.Name), "routed to channel " + std::to_string(i + 1));
        EXPECT_EQ(info.Flags, kClapParamIsStepped | kClapParamIsAutomatable | kClapParamIsEnum);
        EXPECT_EQ(info.MinValue, 0.0);
        EXPECT_EQ(info.MaxValue, 16.0);
        EXPECT_EQ(info.DefaultValue, double(i));
        EXPECT_EQ(plugin.Value(i), double(i));
    }
    TClapParamInfo info{};
    EXPECT_FALSE(plugin.params->GetInfo(plugin.plugin, 2, &info));
    double value = 5.0;
    for (TClapId id : {2u, 100u, kClapInvalidId, 0x80000000u}) EXPECT_FALSE(plugin.params->GetValue(plugin.plugin, id, &value));
    EXPECT_EQ(value, 5.0);
    EXPECT_EQ(plugin.latency->Get(plugin.plugin), 0u);
}

TEST(ClapPlugin, ValuesAndTextsBothWays) {
    ClapTestHost host;
    ClapInstance plugin(host);
    const auto text = [&](TClapId id, double value, std::uint32_t capacity = 64) -> std::string {
        char buffer[80];
        std::memset(buffer, '#', sizeof buffer);
        if (!plugin.params->ValueToText(plugin.plugin, id, value, buffer, capacity)) return "<refused>";
        for (std::size_t i = capacity; i < sizeof buffer; ++i)
            if (buffer[i] != '#') return "<wrote past the capacity>";
        return std::string(buffer, strnlen(buffer, capacity)) + (strnlen(buffer, capacity) == capacity ? "<unended>" : "");
    };
    for (int v = 0; v <= 16; ++v) {
        const std::string name = v < 16 ? "input channel " + std::to_string(v + 1) : "none";
        for (TClapId id : {0u, 1u}) {
            EXPECT_EQ(text(id, v), name);
            double value = -1.0;
            ASSERT_TRUE(plugin.params->TextToValue(plugin.plugin, id, name.c_str(), &value)) << name;
            EXPECT_EQ(value, v);
        }
    }
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        TClapId id;
        double value;
        std::uint32_t capacity;
        const char* shown;
    } values[] = {{0, 2.49, 64, "input channel 3"},   {0, 3.7, 64, "input channel 4"}, {1, -3.0, 64, "input channel 1"},
                  {1, 15.6, 64, "input channel 16"},  {1, -0.9, 64, "input channel 1"},
                  {1, 1e300, 64, "none"},              {0, NAN, 64, "<refused>"},       {0, inf, 64, "<refused>"},
                  {2, 1.0, 64, "<refused>"},           {kClapInvalidId, 1.0, 64, "<refused>"},
                  {0, 9.0, 8, "input c"},              {0, 9.0, 1, ""},                 {0, 16.0, 0, "<refused>"}};
    for (const auto& c : values) EXPECT_EQ(text(c.id, c.value, c.capacity), c.shown) << c.id << " " << c.value;

    const struct {
        const char* typed;
        double value;
    } typed[] = {{"5", 4.0}, {" 3 ", 2.0}, {"Input channel 1", 0.0}, {"INPUT CHANNEL 16", 15.0},
                 {"none ", 16.0}, {" None", 16.0}, {"NONE", 16.0}};
    for (const auto& c : typed)
        for (TClapId id : {0u, 1u}) {
            double value = -1.0;
            EXPECT_TRUE(plugin.params->TextToValue(plugin.plugin, id, c.typed, &value)) << c.typed;
            EXPECT_EQ(value, c.value) << c.typed;
        }
    double value = 7.0;
    for (const char* refused : {"", "input channel 17", "input channel 01", "0", "17", "05", "nonee", "channel 5"})
        EXPECT_FALSE(plugin.params->TextToValue(plugin.plugin, 0, refused, &value)) << refused;
    EXPECT_FALSE(plugin.params->TextToValue(plugin.plugin, 0, nullptr, &value));
    EXPECT_FALSE(plugin.params->TextToValue(plugin.plugin, 2, "none", &value));
    const std::string endless(100000, 'n');
    EXPECT_FALSE(plugin.params->TextToValue(plugin.plugin, 1, endless.c_str(), &value));
    EXPECT_EQ(value, 7.0);
}

// Transport of a process call as the block section sees it.
TEST(ClapPlugin, TransportReachesTheBlockSection) {
    ExpectBlockSectionSeesTransports([](const TransportCase& c) {
        TClapEventTransport clap{};
        clap.Flags = c.Flags(kClapTransportHasTempo, kClapTransportHasTimeSignature, kClapTransportHasBeatsTimeline,
                             kClapTransportIsPlaying, kClapTransportIsRecording);
        clap.Tempo = c.tempoValue;
        clap.TimeSigNumerator = static_cast<std::uint16_t>(c.numerator);
        clap.TimeSigDenominator = 8;
        clap.SongPosBeats = static_cast<std::int64_t>(c.beatsValue * static_cast<double>(kClapBeatTimeFactor));
        return clap;
    });
}

template <class Sample>
class ClapRouting : public ::testing::Test {
protected:
    ClapRouting() { plugin.Start(); }

    ClapTestHost host;
    ClapInstance plugin{host};
};

using SampleTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(ClapRouting, SampleTypes);

TYPED_TEST(ClapRouting, EveryValueOfEitherParameterRoutes) {
    ClapAudio<TypeParam> audio(32);
    for (int v = 0; v <= 16; ++v) {
        this->plugin.Route(v, 16 - v);
        audio.Fill(DistinctInput<TypeParam>);
        ASSERT_EQ(this->plugin.Process(audio), kClapProcessContinueIfNotQuiet);
        ExpectRouted(audio, v, 16 - v);
        EXPECT_EQ(this->plugin.Value(0), v);
    }
}

// Same and partly overlapping buffers give what separate ones give, for
// blocks of 1 frame up to the announced maximum, with any samples.
TYPED_TEST(ClapRouting, AnyBuffersAnyBlockSizeAnySamples) {
    using S = TypeParam;
    const auto odd = [](int c, int j) {
        const S specials[] = {std::numeric_limits<S>::quiet_NaN(), std::numeric_limits<S>::infinity(),
                              -std::numeric_limits<S>::infinity(), std::numeric_limits<S>::denorm_min(), S(-0.0)};
        return j % 3 == 1 ? specials[(c + j) % 5] : DistinctInput<S>(c, j);
    };
    this->plugin.Route(6, 13);
    for (int frames : {1, 7, 300, 4096})
        for (int offset : {ClapAudio<S>::kSeparate, 0, 1, -1, 7, -150, frames - 1}) {
            SCOPED_TRACE(testing::Message() << frames << " frames, offset " << offset);
            ClapAudio<S> audio(frames, offset);
            audio.Fill(odd);
            ASSERT_EQ(this->plugin.Process(audio), kClapProcessContinueIfNotQuiet);
            ExpectRouted(audio, 6, 13);
        }
}

TYPED_TEST(ClapRouting, EventsLandOnTheirFrame) {
    ClapAudio<TypeParam> audio(64);
    audio.Fill(DistinctInput<TypeParam>);
    ClapEvents events;
    events.Param(0, 1, 9)
        .Param(10, 0, 3.7)                                       // truncated
        .Param(20, 0, 5)
        .Param(20, 0, 99)                                        // the later at one frame wins; clamped
        .Odd(30, 0, 2, kClapEventParamMod, kClapCoreEventSpaceId)  // not a value
        .Odd(30, 0, 2, kClapEventParamValue, 1)                  // another space
        .Odd(30, 0, 2, kClapEventParamValue, kClapCoreEventSpaceId, sizeof(TClapEventHeader))
        .Param(30, 2, 2)                                         // no such parameter
        .Param(30, 1, NAN)
        .Param(40, 1, -5)
        .Param(45, 1, 15.6)
        .Param(50, 0, 12)
        .Param(1000, 1, 8);                                      // past the block: from its end
    ASSERT_EQ(this->plugin.Process(audio, &events), kClapProcessContinueIfNotQuiet);
    ExpectRouted(audio, [](int o, int j) {
        if (o == 0) return j < 10 ? 0 : j < 20 ? 3 : j < 50 ? kNone : 12;
        return j < 40 ? 9 : j < 45 ? 0 : 15;
    });
    EXPECT_EQ(this->plugin.Value(0), 12.0);
    EXPECT_EQ(this->plugin.Value(1), 8.0);
    EXPECT_EQ(this->plugin.outputEvents.pushed, 0);

    // Events out of order land no earlier than where the block has got to.
    events.Clear();
    events.Param(30, 0, 4).Param(5, 1, 2);
    audio.Fill(DistinctInput<TypeParam>);
    this->plugin.Process(audio, &events);
    ExpectRouted(audio, [](int o, int j) { return o == 0 ? (j < 30 ? 12 : 4) : (j < 30 ? 8 : 2); });
}

TEST(ClapPlugin, FlushAppliesChangesOutsideProcessing) {
    ClapTestHost host;
    ClapInstance plugin(host);
    ClapEvents events;
    events.Param(3, 0, 7.9).Param(0, 1, 16).Param(9, 0, NAN).Odd(0, 1, 3, kClapEventNoteOn, kClapCoreEventSpaceId);
    plugin.Flush(events);  // inactive: main thread
    EXPECT_EQ(plugin.Value(0), 7.0);
    EXPECT_EQ(plugin.Value(1), 16.0);
    plugin.Start();
    events.Clear();
    events.Param(0, 0, 2);
    plugin.Flush(events);  // active, not processing: audio thread
    ClapAudio<float> audio(16);
    audio.Fill(DistinctInput<float>);
    plugin.Process(audio);
    ExpectRouted(audio, 2, kNone);
    plugin.params->Flush(plugin.plugin, nullptr, nullptr);
    EXPECT_EQ(host.misplacedCalls, 0);
    EXPECT_EQ(host.flushRequests, 0);
}

TEST(ClapPlugin, LifecyclesHostsLeadItThrough) {
    const StrictModeOff onPurpose;
    ClapTestHost host;
    {
        // Processing before activation renders nothing, yet takes the changes.
        ClapInstance plugin(host);
        EXPECT_FALSE(plugin.plugin->StartProcessing(plugin.plugin));
        ClapAudio<float> audio(8);
        audio.Fill(DistinctInput<float>);
        ClapEvents events;
        events.Param(0, 0, 11);
        EXPECT_EQ(plugin.Process(audio, &events), kClapProcessError);
        EXPECT_EQ(plugin.Value(0), 11.0);
    }
    for (std::uint32_t maxFrames : {1u, 512u, 65536u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        // Activation cycles at any announced maximum, ending active: destroyed so.
        ClapInstance plugin(host);
        plugin.Route(4, 9);
        for (int cycle = 0; cycle < 20; ++cycle) {
            ASSERT_TRUE(plugin.Activate(44100.0 + cycle, maxFrames)) << maxFrames;
            ASSERT_TRUE(plugin.plugin->StartProcessing(plugin.plugin));
            ClapAudio<double> audio(cycle % 2 ? 1 : 300, cycle % 2 ? 0 : 1);
            audio.Fill(DistinctInput<double>);
            ASSERT_EQ(plugin.Process(audio), kClapProcessContinueIfNotQuiet);
            ExpectRouted(audio, 4, 9);
            plugin.plugin->StopProcessing(plugin.plugin);
            plugin.plugin->Reset(plugin.plugin);
            if (cycle < 19) plugin.Deactivate();
        }
        plugin.plugin->OnMainThread(plugin.plugin);
        plugin.active = false;
    }
    EXPECT_EQ(host.logs.size(), 5u);
    EXPECT_EQ(host.latencyChanges, 0);
    EXPECT_EQ(host.misplacedCalls, 0);
}

// Audio other than the ports describe, as hosts have passed it: every output
// channel given is written, routed where its input was given in the output's
// precision and silent otherwise; no channel not given is touched, and the
// host hears of it once per activation, from the main thread.
TEST(ClapPlugin, AudioOtherThanDescribedIsAnsweredGently) {
    const StrictModeOff onPurpose;
    constexpr std::uint32_t kFrames = 40;
    constexpr int kNoArray = -1;
    const struct {
        const char* name;
        std::vector<int> ins, outs;  // channels per port, or kNoArray
        bool doubleOutputs;          // the inputs stay single precision
        int nullOutput;              // an output channel given as null, or -1
    } cases[] = {
        {"15 in", {15}, {16}, false, -1},          {"17 in", {17}, {16}, false, -1},
        {"3 in", {3}, {16}, false, -1},            {"15 out", {16}, {15}, false, -1},
        {"1 out", {16}, {1}, false, -1},           {"17 out", {16}, {17}, false, -1},
        {"no input array", {kNoArray}, {16}, false, -1}, {"no output array", {16}, {kNoArray}, false, -1},
        {"null output 2", {16}, {16}, false, 1},   {"no input port", {}, {16}, false, -1},
        {"no output port", {16}, {}, false, -1},   {"two of each", {16, 2}, {16, 3}, false, -1},
        {"mixed precision", {16}, {16}, true, -1}, {"as described", {16}, {16}, false, -1},
    };
    ClapTestHost host;
    ClapInstance plugin(host);
    plugin.Start();
    plugin.Route(3, 14);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<float>> in32;
        std::vector<int> in32Channel;
        std::vector<std::vector<float*>> inChannels;
        std::vector<TClapAudioBuffer> inPorts;
        for (int count : c.ins) {
            const std::uint32_t n = count == kNoArray ? 16 : static_cast<std::uint32_t>(count);
            auto& channels = inChannels.emplace_back();
            for (std::uint32_t ch = 0; ch < n; ++ch) {
                auto& data = in32.emplace_back(kFrames);
                in32Channel.push_back(int(ch));
                for (std::uint32_t j = 0; j < kFrames; ++j) data[j] = DistinctInput<float>(int(ch), int(j));
                channels.push_back(data.data());
            }
            inPorts.push_back({count == kNoArray ? nullptr : channels.data(), nullptr, n, 0, 0});
        }
        std::vector<std::vector<float>> out32;
        std::vector<std::vector<double>> out64;
        std::vector<std::vector<float*>> out32Channels;
        std::vector<std::vector<double*>> out64Channels;
        std::vector<TClapAudioBuffer> outPorts;
        for (int count : c.outs) {
            const std::uint32_t n = count == kNoArray ? 16 : static_cast<std::uint32_t>(count);
            auto& channels32 = out32Channels.emplace_back();
            auto& channels64 = out64Channels.emplace_back();
            for (std::uint32_t ch = 0; ch < n; ++ch) {
                channels32.push_back(out32.emplace_back(kFrames, -7.0f).data());
                channels64.push_back(out64.emplace_back(kFrames, -7.0).data());
            }
            if (outPorts.empty() && c.nullOutput >= 0) channels32[c.nullOutput] = nullptr;
            TClapAudioBuffer port{nullptr, nullptr, n, 0, 0};
            if (count != kNoArray && c.doubleOutputs) port.Data64 = channels64.data();
            if (count != kNoArray && !c.doubleOutputs) port.Data32 = channels32.data();
            outPorts.push_back(port);
        }
        ClapEvents events;
        events.Param(kFrames / 2, 1, 2);
        ASSERT_EQ(plugin.ProcessPorts(inPorts.data(), std::uint32_t(inPorts.size()), outPorts.data(),
                                      std::uint32_t(outPorts.size()), kFrames, &events),
                  kClapProcessContinueIfNotQuiet);
        for (std::size_t p = 0; p < outPorts.size(); ++p) {
            const std::uint32_t n = outPorts[p].ChannelCount;
            const std::uint64_t all = (std::uint64_t{1} << n) - 1;
            EXPECT_EQ(outPorts[p].ConstantMask, p == 0 ? all & ~std::uint64_t{3} : all);
            if (c.outs[p] == kNoArray) continue;
            for (std::uint32_t ch = 0; ch < n; ++ch) {
                if (p == 0 && int(ch) == c.nullOutput) continue;
                for (std::uint32_t j = 0; j < kFrames; ++j) {
                    const int from = p > 0 || ch > 1 ? -1 : ch == 0 ? 3 : j < kFrames / 2 ? 14 : 2;
                    const bool given = !c.doubleOutputs && !c.ins.empty() && c.ins[0] != kNoArray && from < c.ins[0];
                    const double expected = from >= 0 && given ? DistinctInput<float>(from, int(j)) : 0.0;
                    const double actual = c.doubleOutputs ? out64Channels[p][ch][j] : out32Channels[p][ch][j];
                    ASSERT_EQ(actual, expected) << "port " << p << ", output " << ch + 1 << ", frame " << j;
                }
            }
        }
        for (std::size_t i = 0; i < in32.size(); ++i)
            for (std::uint32_t j = 0; j < kFrames; ++j) ASSERT_EQ(in32[i][j], DistinctInput<float>(in32Channel[i], int(j)));
        EXPECT_EQ(plugin.Value(1), 2.0);
        plugin.Route(3, 14);
    }
    EXPECT_TRUE(host.logs.empty());  // not from the audio thread
    plugin.plugin->OnMainThread(plugin.plugin);
    plugin.plugin->OnMainThread(plugin.plugin);
    ASSERT_EQ(host.logs.size(), 1u);

    // A call of no frames takes its events and touches no buffer; it is no
    // departure from the ports.
    TClapAudioBuffer none{nullptr, nullptr, 16, 0, 0};
    ClapEvents events;
    events.Param(0, 0, 9);
    EXPECT_EQ(plugin.ProcessPorts(&none, 1, &none, 1, 0, &events), kClapProcessContinue);
    EXPECT_EQ(plugin.Value(0), 9.0);
    plugin.Deactivate();
    EXPECT_EQ(host.logs.size(), 1u);

    // Heard of again in the next activation, at the latest when it ends.
    plugin.Start();
    EXPECT_EQ(plugin.ProcessPorts(nullptr, 0, nullptr, 0, 8), kClapProcessContinueIfNotQuiet);
    plugin.Deactivate();
    EXPECT_EQ(host.logs.size(), 2u);
}

// A host that offers no extension, or no thread check, or calls from another
// thread than the main one: the plug-in works and calls the host only where
// CLAP allows.
TEST(ClapPlugin, HostExtensionsAreUsedOnlyWhereOfferedAndAllowed) {
    const struct {
        bool extensions, threadCheck, mainThread;
        int rescans;
        std::size_t logs;
    } hosts[] = {{true, true, true, 1, 1}, {false, true, true, 0, 0}, {true, false, true, 1, 1},
                 {true, true, false, 0, 1}, {true, false, false, 1, 1}};
    for (const auto& h : hosts) {
        SCOPED_TRACE(testing::Message() << h.extensions << h.threadCheck << h.mainThread);
        ClapTestHost host;
        host.offersExtensions = h.extensions;
        host.offersThreadCheck = h.threadCheck;
        if (!h.mainThread) host.mainThread = std::thread::id();
        ClapInstance plugin(host);
        plugin.Start();
        ClapAudio<float> audio(32);
        audio.Fill(DistinctInput<float>);
        plugin.Process(audio);
        ASSERT_TRUE(plugin.Load(Chunk({3, 4})));
        EXPECT_FALSE(plugin.Load(Bytes(260, 0)));
        EXPECT_EQ(plugin.Value(1), 4.0);
        EXPECT_EQ(plugin.Save().size(), 260u);
        EXPECT_EQ(host.rescans, h.rescans);
        EXPECT_EQ(host.logs.size(), h.logs);
        if (h.rescans) {
            EXPECT_EQ(host.rescanFlags, int(kClapParamRescanValues));
        }
        EXPECT_EQ(host.misplacedCalls, h.threadCheck ? 0 : h.rescans && !h.mainThread);
        EXPECT_EQ(host.latencyChanges + host.dirtyMarks + host.flushRequests + host.restarts, 0);
    }
    // A host without even an extension query.
    ClapTestHost host;
    TClapHost bare = *host.Record();
    bare.GetExtension = nullptr;
    const TClapPluginFactory& factory = ClapModule::Loaded().Factory();
    const TClapPlugin* plugin = factory.CreatePlugin(&factory, &bare, kClapPluginId);
    ASSERT_TRUE(plugin && plugin->Init(plugin));
    EXPECT_TRUE(plugin->Activate(plugin, 48000.0, 1, 64));
    plugin->Deactivate(plugin);
    plugin->Destroy(plugin);
}

TEST(ClapState, SavedStateIsTheVst2ChunkThroughAnyStream) {
    const StrictModeOff onPurpose;
    ClapTestHost host;
    ClapInstance plugin(host);
    std::vector<float> values(64, 0.0f);
    values[1] = 1.0f;
    EXPECT_EQ(plugin.Save(), Chunk(values));
    plugin.Route(12, 16);
    values[0] = 12.0f;
    values[1] = 16.0f;
    for (std::uint64_t step : {1u, 3u, 259u, 4096u}) EXPECT_EQ(plugin.Save(step), Chunk(values)) << step;

    ClapStream failing;
    failing.failAt = 100;
    const TClapOStream output = failing.Output();
    EXPECT_FALSE(plugin.state->Save(plugin.plugin, &output));
    const TClapOStream stuck = {nullptr, [](const TClapOStream*, const void*, std::uint64_t) -> std::int64_t { return 0; }};
    EXPECT_FALSE(plugin.state->Save(plugin.plugin, &stuck));
}

TEST(ClapState, LoadsThroughAnyStreamAndRefusesWhatIsNoState) {
    const StrictModeOff onPurpose;
    const Bytes good = Chunk(std::vector<float>(64, 3.0f));
    Bytes longer = good;
    longer.resize(300, 0x40);
    Bytes unmarked = good;
    unmarked[0] ^= 1;
    Bytes partial = Chunk({5, 6});
    partial.push_back(0x41);  // a partial float
    const struct {
        const char* what;
        Bytes bytes;
        std::uint64_t step;
        std::size_t failAt;
        bool loaded;
        double value1, value2;  // after the load, from 1 and 2
    } loads[] = {
        {"whole", good, 260, SIZE_MAX, true, 3, 3},
        {"a byte a call", good, 1, SIZE_MAX, true, 3, 3},
        {"longer", longer, 7, SIZE_MAX, true, 3, 3},
        {"one value", Chunk({9}), 1, SIZE_MAX, true, 9, 2},
        {"a partial float", partial, 2, SIZE_MAX, true, 5, 6},
        {"only the marker", Chunk({}), 1, SIZE_MAX, true, 1, 2},
        {"no marker", unmarked, 1, SIZE_MAX, false, 1, 2},
        {"three bytes", Bytes(good.begin(), good.begin() + 3), 1, SIZE_MAX, false, 1, 2},
        {"nothing", Bytes{}, 1, SIZE_MAX, false, 1, 2},
        {"a read error", good, 16, 200, false, 1, 2},
        {"a read error at once", good, 16, 0, false, 1, 2},
    };
    for (const auto& load : loads) {
        ClapTestHost host;
        ClapInstance plugin(host);
        plugin.Route(1, 2);
        EXPECT_EQ(plugin.Load(load.bytes, load.step, load.failAt), load.loaded) << load.what;
        EXPECT_EQ(plugin.Value(0), load.value1) << load.what;
        EXPECT_EQ(plugin.Value(1), load.value2) << load.what;
    }
    ClapTestHost host;
    ClapInstance plugin(host);
    EXPECT_FALSE(plugin.state->Load(plugin.plugin, nullptr));
    const TClapIStream endless = {nullptr, [](const TClapIStream*, void* buffer, std::uint64_t size) -> std::int64_t {
                                      std::memset(buffer, 0, static_cast<std::size_t>(size));
                                      return static_cast<std::int64_t>(size) + 1;  // more than asked
                                  }};
    EXPECT_FALSE(plugin.state->Load(plugin.plugin, &endless));
}

// Odd values in a loaded state: shown within 0..16 as they route, routed by
// the next block while active, and saved again as loaded.
TEST(ClapState, OddValuesShowAsTheyRouteAndRoundTrip) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float value1, value2;
        double shown1, shown2;
    } loads[] = {{5, 9, 5, 9}, {20, -1, 16, 16}, {2.5f, nan, 2, 0}, {15.99995f, 16, 16, 16},
                 {-0.0f, std::numeric_limits<float>::infinity(), 0, 0}, {64.0f, 65.0f, 0, 1}};
    ClapTestHost host;
    ClapInstance plugin(host);
    plugin.Start();
    for (const auto& load : loads) {
        std::vector<float> values(64);
        for (int i = 0; i < 64; ++i) values[i] = float(i * 7 % 23) - 3.5f;
        values[0] = load.value1;
        values[1] = load.value2;
        const Bytes chunk = Chunk(values);
        ASSERT_TRUE(plugin.Load(chunk, 5));
        EXPECT_EQ(plugin.Value(0), load.shown1) << load.value1;
        EXPECT_EQ(plugin.Value(1), load.shown2) << load.value2;
        ClapAudio<float> audio(8);
        audio.Fill(DistinctInput<float>);
        plugin.Process(audio);
        ExpectRouted(audio, int(load.shown1), int(load.shown2));
        EXPECT_EQ(plugin.Save(), chunk);
    }
}

// One effect, one state: a chunk saved by either plug-in loads in the other.
TEST(ClapState, Vst2AndClapLoadEachOthersStates) {
    TestHost vstHost;
    PluginInstance vst;
    vst.Start();
    ClapTestHost host;
    ClapInstance clap(host);
    clap.Start();

    vst.SetParameter(0, 14.0f / 16.0f);
    vst.SetParameter(1, 1.0f);
    const std::vector<unsigned char> fromVst = vst.SaveState();
    ASSERT_TRUE(clap.Load(Bytes(fromVst.begin(), fromVst.end()), 1));
    EXPECT_EQ(clap.Value(0), 14.0);
    EXPECT_EQ(clap.Value(1), 16.0);
    EXPECT_EQ(clap.Save(), Bytes(fromVst.begin(), fromVst.end()));

    clap.Route(3, 0);
    const Bytes fromClap = clap.Save(1);
    EXPECT_EQ(vst.LoadState(std::vector<unsigned char>(fromClap.begin(), fromClap.end())), 260);
    EXPECT_EQ(vst.GetParameter(0), 3.0f / 16.0f);
    EXPECT_EQ(vst.GetParameter(1), 0.0f);
    EXPECT_EQ(vst.SaveState(), std::vector<unsigned char>(fromClap.begin(), fromClap.end()));
}

TEST(ClapInstances, ManyRouteEachAsTheirOwnParametersSay) {
    ClapTestHost host;
    std::vector<std::unique_ptr<ClapInstance>> plugins;
    for (int i = 0; i < 64; ++i) {
        plugins.push_back(std::make_unique<ClapInstance>(host));
        plugins.back()->Start(i % 3 ? 256 : 8192);
        plugins.back()->Route(i % 17, (i * 5) % 17);
    }
    ClapAudio<double> audio(40, 2);
    for (int i = 0; i < 64; ++i) {
        audio.Fill(DistinctInput<double>);
        plugins[i]->Process(audio);
        ExpectRouted(audio, i % 17, (i * 5) % 17);
    }
}
