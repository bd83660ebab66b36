// Audio through the built plug-in in both precisions: which input reaches
// outputs 1 and 2, silence elsewhere, and what each block asks the host.
#include <gtest/gtest.h>

#include <limits>
#include <utility>
#include <vector>

#include "plugin_under_test.h"
#include "tagged_audio.h"

namespace {

constexpr int kChannels = 16;
constexpr int kNone = 16;

template <class Sample>
void Process(AEffect* effect, Sample** inputs, Sample** outputs, VstInt32 frames) {
    if constexpr (sizeof(Sample) == sizeof(float))
        effect->processReplacing(effect, inputs, outputs, frames);
    else
        effect->processDoubleReplacing(effect, inputs, outputs, frames);
}

template <class Sample>
void FillInputs(AudioBuffers<Sample>& buffers) {
    for (int c = 0; c < int(buffers.in.size()); ++c)
        for (int j = 0; j < int(buffers.in[c].size()); ++j) buffers.in[c][j] = DistinctInput<Sample>(c, j);
}

// Outputs 1 and 2 carry the inputs that `source1` and `source2` select
// (kNone: silence); outputs 3 to 16 are silent.
template <class Sample>
void ExpectRouted(const std::vector<std::vector<Sample>>& inputs, const std::vector<std::vector<Sample>>& outputs,
                  int source1, int source2) {
    const int sources[2] = {source1, source2};
    for (int c = 0; c < kChannels; ++c) {
        for (std::size_t j = 0; j < outputs[c].size(); ++j) {
            const int source = c < 2 ? sources[c] : kNone;
            const Sample expected = source == kNone ? Sample(0) : inputs[source][j];
            ASSERT_EQ(outputs[c][j], expected) << "output " << c + 1 << ", frame " << j;
        }
    }
}

template <class Sample>
class PluginRouting : public ::testing::Test {
protected:
    void SetUp() override { plugin.Start(); }

    void Route(int source1, int source2) {
        plugin.SetParameter(0, float(source1) / 16.0f);
        plugin.SetParameter(1, float(source2) / 16.0f);
    }

    AudioBuffers<Sample> Run(int frames = 32) {
        AudioBuffers<Sample> buffers(kChannels, frames);
        FillInputs(buffers);
        buffers.Process(plugin.effect);
        return buffers;
    }

    TestHost host;
    PluginInstance plugin;
};

using SampleTypes = ::testing::Types<float, double>;
TYPED_TEST_SUITE(PluginRouting, SampleTypes);

TYPED_TEST(PluginRouting, DefaultsPassInputsOneAndTwo) {
    for (int frames : {1, 32, 4099}) {
        SCOPED_TRACE(frames);
        const auto buffers = this->Run(frames);
        ExpectRouted(buffers.in, buffers.out, 0, 1);
    }
}

TYPED_TEST(PluginRouting, EverySliderValueSelectsItsInput) {
    // Covers each input on each output, the same input twice, and "none".
    for (int v = 0; v <= kNone; ++v) {
        SCOPED_TRACE(v);
        this->Route(v, kNone - v);
        const auto crossed = this->Run(4);
        ExpectRouted(crossed.in, crossed.out, v, kNone - v);
        this->Route(v, v);
        const auto same = this->Run(4);
        ExpectRouted(same.in, same.out, v, v);
    }
}

TYPED_TEST(PluginRouting, ChangesApplyFromTheNextBlock) {
    this->Route(1, 0);
    auto swapped = this->Run(8);
    ExpectRouted(swapped.in, swapped.out, 1, 0);
    this->plugin.SetParameter(1, 1.0f);
    swapped = this->Run(8);
    ExpectRouted(swapped.in, swapped.out, 1, kNone);
}

TYPED_TEST(PluginRouting, NonFiniteSamplesOnlyMatterWhenSelected) {
    using Sample = TypeParam;
    const Sample bad[] = {std::numeric_limits<Sample>::quiet_NaN(), std::numeric_limits<Sample>::infinity(),
                          -std::numeric_limits<Sample>::infinity()};
    this->Route(3, 7);
    AudioBuffers<Sample> buffers(kChannels, 6);
    FillInputs(buffers);
    // Frames 0-2 of the selected inputs, frames 3-5 of unselected ones (among
    // them input 1, whose output slot is overwritten by the routing).
    for (int k = 0; k < 3; ++k) {
        buffers.in[3][k] = bad[k];
        buffers.in[7][k] = bad[k];
        for (int c : {0, 5, 15}) buffers.in[c][3 + k] = bad[k];
    }
    buffers.Process(this->plugin.effect);
    for (int j = 0; j < 6; ++j) {
        SCOPED_TRACE(j);
        // Against the stored inputs: recomputed on x87, a value keeps excess precision.
        EXPECT_EQ(buffers.out[0][j], j < 3 ? Sample(0) : buffers.in[3][j]);
        EXPECT_EQ(buffers.out[1][j], j < 3 ? Sample(0) : buffers.in[7][j]);
        for (int c = 2; c < kChannels; ++c) EXPECT_EQ(buffers.out[c][j], Sample(0)) << "output " << c + 1;
    }
}

// A host may hand the input buffers as outputs, each to the same channel or
// to another one: every frame must still be routed from that frame's inputs.
TYPED_TEST(PluginRouting, InPlaceBuffers) {
    using Sample = TypeParam;
    for (int shift : {0, 5}) {
        for (const auto& [source1, source2] : {std::pair{1, 0}, std::pair{15, 2}, std::pair{4, 4}, std::pair{6, 16}}) {
            SCOPED_TRACE(testing::Message() << "shift " << shift << ", sources " << source1 << " " << source2);
            this->Route(source1, source2);
            AudioBuffers<Sample> buffers(kChannels, 16);
            FillInputs(buffers);
            const auto original = buffers.in;
            std::vector<Sample*> outputs(kChannels);
            for (int c = 0; c < kChannels; ++c) outputs[c] = buffers.inPtr[(c + shift) % kChannels];
            Process<Sample>(this->plugin.effect, buffers.inPtr.data(), outputs.data(), 16);
            std::vector<std::vector<Sample>> written(kChannels);
            for (int c = 0; c < kChannels; ++c) written[c] = buffers.in[(c + shift) % kChannels];
            ExpectRouted(original, written, source1, source2);
        }
    }
}

TYPED_TEST(PluginRouting, EmptyBlocksWriteNothing) {
    using Sample = TypeParam;
    for (VstInt32 frames : {0, -1}) {
        SCOPED_TRACE(frames);
        AudioBuffers<Sample> buffers(kChannels, 4);
        FillInputs(buffers);
        const auto inputs = buffers.in;
        const auto outputs = buffers.out;
        this->host.calls.clear();
        Process<Sample>(this->plugin.effect, buffers.inPtr.data(), buffers.outPtr.data(), frames);
        EXPECT_EQ(buffers.in, inputs);
        EXPECT_EQ(buffers.out, outputs);
        // The block section still runs.
        EXPECT_EQ(this->host.CallsWith(audioMasterGetTime).size(), 4u);
    }
}

// Processing before the host opens or resumes reads the effect's variables
// as constructed: no slider section has run, so both sources are 0.
TEST(PluginRoutingBeforeOpen, ReadsDefinedSources) {
    TestHost host;
    PluginInstance plugin;
    AudioBuffers<float> buffers(kChannels, 8);
    FillInputs(buffers);
    buffers.Process(plugin.effect);
    ExpectRouted(buffers.in, buffers.out, 0, 0);

    // Setting a parameter to the value it has stores nothing and runs no
    // slider section; a real change runs it and takes both sliders.
    plugin.SetParameter(1, 1.0f / 16.0f);
    buffers.Process(plugin.effect);
    ExpectRouted(buffers.in, buffers.out, 0, 0);
    plugin.SetParameter(0, 2.0f / 16.0f);
    buffers.Process(plugin.effect);
    ExpectRouted(buffers.in, buffers.out, 2, 1);
}

struct TimeCase {
    const char* name;
    bool giveTime;
    double tempo;
    VstInt32 flags;
};

// Each block asks for the tempo and time signature, the playing and recording
// state and the position, in that order, whatever the host answers; none of
// it touches the routing, the display or the latency.
TEST(PluginTimeQueries, FourPerBlockInOrder) {
    const TimeCase cases[] = {
        {"playing and recording", true, 120.0, kVstTransportPlaying | kVstTransportRecording | kVstTempoValid},
        {"stopped", true, 90.0, 0},
        {"no time information", false, 0.0, 0},
        {"tempo not a number", true, std::numeric_limits<double>::quiet_NaN(), kVstTempoValid},
    };
    for (const TimeCase& tc : cases) {
        SCOPED_TRACE(tc.name);
        TestHost host;
        host.giveTime = tc.giveTime;
        host.time.tempo = tc.tempo;
        host.time.flags = tc.flags;
        host.time.timeSigNumerator = 7;
        host.time.timeSigDenominator = 8;
        host.time.ppqPos = 33.5;
        PluginInstance plugin;
        plugin.Start();
        plugin.SetParameter(0, 0.25f);
        host.calls.clear();

        constexpr int kBlocks = 3;
        for (int block = 0; block < kBlocks; ++block) {
            AudioBuffers<double> buffers(kChannels, 64);
            FillInputs(buffers);
            buffers.Process(plugin.effect);
            ExpectRouted(buffers.in, buffers.out, 4, 1);
        }
        ASSERT_EQ(host.calls.size(), 4u * kBlocks);
        for (std::size_t i = 0; i < host.calls.size(); ++i) {
            const VstIntPtr filters[] = {kVstTempoValid | kVstTimeSigValid, kVstTransportPlaying,
                                         kVstTransportRecording, kVstPpqPosValid};
            EXPECT_EQ(host.calls[i].opcode, audioMasterGetTime) << i;
            EXPECT_EQ(host.calls[i].value, filters[i % 4]) << i;
            EXPECT_EQ(host.calls[i].effect, plugin.effect) << i;
        }
        EXPECT_EQ(plugin.effect->initialDelay, 0);
    }
}

}  // namespace
