// The built plug-in as a host sees it: its record, entry points, names,
// capabilities and parameters, driven only through the AEffect record.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "plugin_under_test.h"

namespace {

const std::string kDescription = "Brindlefox_multi-channel patcher 16 ins to 2 outs";

// A text request answered into a 256-byte buffer prefilled with a sentinel, as
// hosts pass larger buffers than the interface publishes.
struct WrittenText {
    std::string text;     // up to the first zero
    std::size_t touched;  // bytes from the start up to the last one written
    VstIntPtr answer;
};

WrittenText Written(PluginInstance& plugin, VstInt32 opcode, VstInt32 index = 0) {
    constexpr char kSentinel = '\x7f';
    std::array<char, 256> buffer;
    buffer.fill(kSentinel);
    const VstIntPtr answer = plugin.Dispatch(opcode, index, 0, buffer.data());
    const auto zero = std::find(buffer.begin(), buffer.end(), '\0');
    const auto last = std::find_if(buffer.rbegin(), buffer.rend(), [](char c) { return c != kSentinel; });
    return {std::string(buffer.begin(), zero), static_cast<std::size_t>(buffer.rend() - last), answer};
}

TEST(PluginAssembly, RecordHoldsWhatTheHostNeeds) {
    TestHost host;
    PluginInstance plugin;
    ASSERT_NE(plugin.effect, nullptr);
    const AEffect& e = *plugin.effect;
    EXPECT_EQ(e.magic, kEffectMagic);
    EXPECT_NE(e.dispatcher, nullptr);
    EXPECT_NE(e.process, nullptr);
    EXPECT_NE(e.setParameter, nullptr);
    EXPECT_NE(e.getParameter, nullptr);
    EXPECT_NE(e.processReplacing, nullptr);
    EXPECT_NE(e.processDoubleReplacing, nullptr);
    EXPECT_EQ(e.numPrograms, 1);
    EXPECT_EQ(e.numParams, 2);
    EXPECT_EQ(e.numInputs, 16);
    EXPECT_EQ(e.numOutputs, 16);
    EXPECT_EQ(e.flags, 0x1030);
    EXPECT_EQ(e.resvd1, 0);
    EXPECT_EQ(e.resvd2, 0);
    EXPECT_EQ(e.initialDelay, 0);
    EXPECT_EQ(e.realQualities, 0);
    EXPECT_EQ(e.offQualities, 0);
    EXPECT_EQ(e.ioRatio, 1.0f);
    EXPECT_NE(e.object, nullptr);
    EXPECT_EQ(e.user, nullptr);
    EXPECT_EQ(e.uniqueID, 0);
    EXPECT_EQ(e.version, 1);
    EXPECT_TRUE(std::all_of(std::begin(e.future), std::end(e.future), [](char c) { return c == 0; }));

    // Assembly asks the host for its version, before any record exists, and nothing else.
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_EQ(host.calls[0].opcode, audioMasterVersion);
    EXPECT_EQ(host.calls[0].effect, nullptr);
}

TEST(PluginAssembly, EveryEntryPointAssemblesAndRefusesAlike) {
    PluginLibrary& library = LoadedPlugin();
    EXPECT_EQ(library.Entry("main"), library.Entry("VSTPluginMain"));
    for (const char* entry : {"VSTPluginMain", "main", "MAIN"}) {
        SCOPED_TRACE(entry);
        ASSERT_NE(library.Entry(entry), nullptr);
        {
            TestHost host;
            PluginInstance plugin(entry);
            ASSERT_NE(plugin.effect, nullptr);
            EXPECT_EQ(plugin.effect->numParams, 2);
        }
        TestHost refusing;
        refusing.version = 0;
        PluginInstance refused(entry);
        EXPECT_EQ(refused.effect, nullptr);
        EXPECT_EQ(refusing.calls.size(), 1u);
    }
}

TEST(PluginAssembly, InstancesAreIndependent) {
    TestHost host;
    PluginInstance a;
    auto b = std::make_unique<PluginInstance>();
    ASSERT_NE(a.effect, b->effect);
    EXPECT_NE(a.effect->object, b->effect->object);
    a.Start();
    b->Start();

    a.SetParameter(0, 0.5f);
    char otherName[] = "Other";
    b->Dispatch(effSetProgramName, 0, 0, otherName);
    EXPECT_EQ(b->GetParameter(0), 0.0f);
    EXPECT_EQ(a.Text(effGetProgramName), kDescription.substr(0, 23));

    AudioBuffers<float> buffers(16, 4);
    for (int c = 0; c < 16; ++c) std::fill(buffers.in[c].begin(), buffers.in[c].end(), float(c + 1));
    buffers.Process(b->effect);
    EXPECT_EQ(buffers.out[0][0], 1.0f);

    // Closing one leaves the other working.
    EXPECT_EQ(b->Dispatch(effClose), 1);
    b.reset();
    buffers.Process(a.effect);
    EXPECT_EQ(buffers.out[0][0], 9.0f);
    EXPECT_EQ(a.Text(effGetParamDisplay, 0), "input channel 9");
}

TEST(PluginLifecycle, CloseAnswersOneAtAnyStage) {
    TestHost host;
    PluginInstance fresh;
    EXPECT_EQ(fresh.Dispatch(effClose), 1);

    PluginInstance running;
    running.Start();
    AudioBuffers<double> buffers(16, 8);
    buffers.Process(running.effect);
    running.SaveState();
    EXPECT_EQ(running.Dispatch(effClose), 1);
}

TEST(PluginLifecycle, ResumeReadsTheTempoAndNeverAsksForMidi) {
    TestHost host;
    PluginInstance plugin;
    plugin.Dispatch(effOpen);
    host.calls.clear();
    plugin.Dispatch(effMainsChanged, 0, 1);

    const auto timeQueries = host.CallsWith(audioMasterGetTime);
    ASSERT_EQ(timeQueries.size(), 1u);
    EXPECT_EQ(timeQueries[0].value, kVstTempoValid);
    EXPECT_EQ(timeQueries[0].effect, plugin.effect);
    EXPECT_TRUE(host.CallsWith(audioMasterWantMidi).empty());

    // Every resume reads the host's settings again.
    plugin.Dispatch(effMainsChanged, 0, 0);
    plugin.Dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(host.CallsWith(audioMasterGetTime).size(), 2u);
    EXPECT_TRUE(host.CallsWith(audioMasterWantMidi).empty());
}

TEST(PluginNames, TextsAndVersion) {
    TestHost host;
    PluginInstance plugin;
    for (VstInt32 opcode : {effGetEffectName, effGetProductString}) {
        const WrittenText name = Written(plugin, opcode);
        EXPECT_EQ(name.text, kDescription);
        EXPECT_EQ(name.answer, 1);
    }
    EXPECT_EQ(kDescription.size(), 49u);
    EXPECT_EQ(Written(plugin, effGetVendorString).text, "Brindlefox");
    EXPECT_EQ(Written(plugin, effGetVendorString).answer, 1);
    EXPECT_EQ(plugin.Dispatch(effGetVendorVersion), 1000);

    EXPECT_EQ(plugin.Text(effGetParamName, 0), "routed to channel 1");
    EXPECT_EQ(plugin.Text(effGetParamName, 1), "routed to channel 2");
    EXPECT_EQ(plugin.Text(effGetParamDisplay, 0), "input channel 1");
    EXPECT_EQ(plugin.Text(effGetParamDisplay, 1), "input channel 2");
    EXPECT_EQ(Written(plugin, effGetParamLabel, 0).text, "");
    EXPECT_EQ(Written(plugin, effGetParamLabel, 1).text, "");

    // No indexed program names: the buffer stays as the host left it.
    const WrittenText indexed = Written(plugin, effGetProgramNameIndexed);
    EXPECT_EQ(indexed.answer, 0);
    EXPECT_EQ(indexed.touched, 0u);
}

// Each text fits its bound with its zero: 64 for the effect, product and
// vendor names, 24 for the program name and display, 32 for the parameter
// name, 8 for the label.
TEST(PluginNames, TextsStayWithinTheirBounds) {
    TestHost host;
    PluginInstance plugin;
    struct Bound {
        VstInt32 opcode;
        VstInt32 index;
        std::size_t bytes;
    };
    for (const Bound& b : {Bound{effGetEffectName, 0, 64}, Bound{effGetProductString, 0, 64},
                           Bound{effGetVendorString, 0, 64}, Bound{effGetProgramName, 0, 24},
                           Bound{effGetParamName, 0, 32}, Bound{effGetParamName, 1, 32},
                           Bound{effGetParamDisplay, 0, 24}, Bound{effGetParamLabel, 0, 8}}) {
        SCOPED_TRACE(b.opcode);
        const WrittenText written = Written(plugin, b.opcode, b.index);
        EXPECT_LE(written.touched, b.bytes);
        EXPECT_LT(written.text.size(), b.bytes);
    }
    EXPECT_EQ(Written(plugin, effGetProgramName).text, kDescription.substr(0, 23));

    plugin.SetParameter(1, 1.0f);
    EXPECT_EQ(plugin.Text(effGetParamDisplay, 1), "none");
    plugin.SetParameter(1, 15.0f / 16.0f);
    const WrittenText longest = Written(plugin, effGetParamDisplay, 1);
    EXPECT_EQ(longest.text, "input channel 16");
    EXPECT_LE(longest.touched, 24u);
}

TEST(PluginNames, ProgramNameTakesAtMost23Characters) {
    TestHost host;
    PluginInstance plugin;
    char shortName[] = "Live";
    plugin.Dispatch(effSetProgramName, 0, 0, shortName);
    EXPECT_EQ(plugin.Text(effGetProgramName), "Live");

    std::string longName(100, 'a');
    for (std::size_t i = 0; i < longName.size(); ++i) longName[i] = char('a' + i % 26);
    plugin.Dispatch(effSetProgramName, 0, 0, longName.data());
    const WrittenText written = Written(plugin, effGetProgramName);
    EXPECT_EQ(written.text, longName.substr(0, 23));
    EXPECT_LE(written.touched, 24u);

    // A host text without a zero in its 24 bytes is read no further.
    std::vector<char> unterminated(24, 'x');
    plugin.Dispatch(effSetProgramName, 0, 0, unterminated.data());
    EXPECT_EQ(plugin.Text(effGetProgramName), std::string(23, 'x'));
}

TEST(PluginCapabilities, OnlyReceivingMidiIsRecognised) {
    TestHost host;
    PluginInstance plugin;
    char midi[] = "receiveVstMidiEvent";
    EXPECT_EQ(plugin.Dispatch(effCanDo, 0, 0, midi), 0x1130);
    EXPECT_EQ(plugin.effect->flags, 0x1030);

    for (const char* text : {"", "receivevstmidievent", "ReceiveVstMidiEvent", "receiveVstMidiEvents",
                             "receiveVstMidiEven", "sendVstMidiEvent", "receiveVstEvents", "bypass"}) {
        SCOPED_TRACE(text);
        std::string copy = text;
        EXPECT_EQ(plugin.Dispatch(effCanDo, 0, 0, copy.data()), -1);
    }
    EXPECT_EQ(plugin.Dispatch(effCanDo, 0, 0, nullptr), -1);
}

TEST(PluginCapabilities, EventsAreTakenWhateverTheyHold) {
    TestHost host;
    PluginInstance plugin;
    VstEvent noteOn{kVstMidiType, sizeof(VstEvent), 0, 0, {char(0x90), 60, 100}};
    VstEvent other{6, sizeof(VstEvent), 3, 0, {}};
    VstEvents events{};
    events.numEvents = 2;
    events.events[0] = &noteOn;
    events.events[1] = &other;
    EXPECT_EQ(plugin.Dispatch(effProcessEvents, 0, 0, &events), 1);
    events.numEvents = 0;
    EXPECT_EQ(plugin.Dispatch(effProcessEvents, 0, 0, &events), 1);
}

// The host's normalised value x becomes slider value floor(16x + 0.5); the
// host reads back v / 16 and the name of value v.
TEST(PluginParameters, MapOntoSeventeenValues) {
    TestHost host;
    PluginInstance plugin;
    EXPECT_EQ(plugin.GetParameter(0), 0.0f);
    EXPECT_EQ(plugin.GetParameter(1), 0.0625f);

    plugin.SetParameter(0, 0.5f);
    EXPECT_EQ(plugin.GetParameter(0), 0.5f);
    EXPECT_EQ(plugin.Text(effGetParamDisplay, 0), "input channel 9");
    plugin.SetParameter(0, 0.53f);
    EXPECT_EQ(plugin.GetParameter(0), 0.5f);
    plugin.SetParameter(0, 0.54f);
    EXPECT_EQ(plugin.GetParameter(0), 0.5625f);
    EXPECT_EQ(plugin.Text(effGetParamDisplay, 0), "input channel 10");
    plugin.SetParameter(0, 1.0f);
    EXPECT_EQ(plugin.GetParameter(0), 1.0f);
    EXPECT_EQ(plugin.Text(effGetParamDisplay, 0), "none");

    for (int v = 0; v <= 16; ++v) {
        SCOPED_TRACE(v);
        const float normalised = float(v) / 16.0f;
        plugin.SetParameter(1, normalised);
        EXPECT_EQ(plugin.GetParameter(1), normalised);
        EXPECT_EQ(plugin.Text(effGetParamDisplay, 1), v < 16 ? "input channel " + std::to_string(v + 1) : "none");
    }
    // Each parameter has its own slider.
    EXPECT_EQ(plugin.GetParameter(0), 1.0f);
}

TEST(PluginParameters, IndicesOutsideTheSlidersReachNothing) {
    TestHost host;
    PluginInstance plugin;
    plugin.SetParameter(0, 0.25f);
    plugin.SetParameter(1, 0.75f);
    const std::vector<unsigned char> before = plugin.SaveState();

    for (VstInt32 index : {-1, 2, 1000, std::numeric_limits<VstInt32>::min()}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(plugin.GetParameter(index), 0.0f);
        plugin.SetParameter(index, 0.5f);
        for (VstInt32 opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
            const WrittenText written = Written(plugin, opcode, index);
            EXPECT_EQ(written.text, "");
            EXPECT_EQ(written.touched, 1u);
        }
    }
    EXPECT_EQ(plugin.GetParameter(0), 0.25f);
    EXPECT_EQ(plugin.GetParameter(1), 0.75f);
    EXPECT_EQ(plugin.SaveState(), before);
}

TEST(PluginParameters, NonFiniteValuesAreIgnored) {
    TestHost host;
    PluginInstance plugin;
    plugin.SetParameter(0, 0.25f);
    for (float x : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(x);
        plugin.SetParameter(0, x);
        plugin.SetParameter(1, x);
        EXPECT_EQ(plugin.GetParameter(0), 0.25f);
        EXPECT_EQ(plugin.GetParameter(1), 0.0625f);
        EXPECT_EQ(plugin.Text(effGetParamDisplay, 0), "input channel 5");
    }
}

}  // namespace
