// Saving and restoring the built plug-in's state through the host's chunk
// requests: little-endian 32-bit floats, the marker -1000 and sliders 1 to 64.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "plugin_under_test.h"

namespace {

using Bytes = std::vector<unsigned char>;

const Bytes kMarker = {0x00, 0x00, 0x7A, 0xC4};

Bytes LittleEndian(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
            static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
}

Bytes Chunk(std::initializer_list<float> values) {
    Bytes chunk;
    for (float v : values) {
        const Bytes bytes = LittleEndian(v);
        chunk.insert(chunk.end(), bytes.begin(), bytes.end());
    }
    return chunk;
}

// Input channel numbers (0-based) that outputs 1 and 2 carry, found by
// processing one frame whose input c holds c + 1.
std::pair<int, int> Sources(PluginInstance& plugin) {
    AudioBuffers<float> buffers(16, 1);
    for (int c = 0; c < 16; ++c) buffers.in[c][0] = float(c + 1);
    buffers.Process(plugin.effect);
    return {int(buffers.out[0][0]) - 1, int(buffers.out[1][0]) - 1};
}

TEST(PluginState, SavesMarkerAndSixtyFourSliders) {
    TestHost host;
    PluginInstance plugin;
    Bytes state = plugin.SaveState();
    ASSERT_EQ(state.size(), 260u);
    Bytes expected = Chunk({-1000.0f, 0.0f, 1.0f});
    expected.resize(260, 0);
    EXPECT_EQ(state, expected);
    EXPECT_EQ(Bytes(state.begin(), state.begin() + 4), kMarker);

    plugin.SetParameter(0, 0.5f);
    plugin.SetParameter(1, 1.0f);
    state = plugin.SaveState();
    ASSERT_EQ(state.size(), 260u);
    EXPECT_EQ(Bytes(state.begin() + 4, state.begin() + 12), Chunk({8.0f, 16.0f}));
}

TEST(PluginState, RestoresIntoAnotherInstance) {
    TestHost host;
    PluginInstance source;
    source.Start();
    source.SetParameter(0, 3.0f / 16.0f);
    source.SetParameter(1, 15.0f / 16.0f);
    const Bytes state = source.SaveState();

    PluginInstance target;
    target.Start();
    EXPECT_EQ(target.LoadState(state), 260);
    EXPECT_EQ(target.GetParameter(0), 3.0f / 16.0f);
    EXPECT_EQ(target.GetParameter(1), 15.0f / 16.0f);
    EXPECT_EQ(target.Text(effGetParamDisplay, 1), "input channel 16");
    EXPECT_EQ(Sources(target), std::pair(3, 15));
    EXPECT_EQ(target.SaveState(), state);
}

// A host may hand back the very buffer the plug-in's last save gave it.
TEST(PluginState, LoadsFromTheBufferItSaved) {
    TestHost host;
    PluginInstance plugin;
    plugin.SetParameter(0, 0.25f);
    void* data = nullptr;
    const VstIntPtr size = plugin.Dispatch(effGetChunk, 0, 0, &data);
    ASSERT_EQ(size, 260);
    ASSERT_NE(data, nullptr);
    plugin.SetParameter(0, 0.75f);
    EXPECT_EQ(plugin.Dispatch(effSetChunk, 0, size, data), 260);
    EXPECT_EQ(plugin.GetParameter(0), 0.25f);
    EXPECT_EQ(plugin.GetParameter(1), 0.0625f);
}

TEST(PluginState, ShortChunksRestoreWhatTheyHold) {
    TestHost host;
    PluginInstance plugin;
    plugin.Start();
    plugin.SetParameter(1, 0.75f);

    EXPECT_EQ(plugin.LoadState(Chunk({-1000.0f, 5.0f})), 8);
    EXPECT_EQ(plugin.GetParameter(0), 5.0f / 16.0f);
    EXPECT_EQ(plugin.GetParameter(1), 0.75f);
    EXPECT_EQ(Sources(plugin), std::pair(5, 12));

    // Trailing bytes short of a whole float are ignored.
    Bytes ragged = Chunk({-1000.0f, 9.0f});
    ragged.insert(ragged.end(), {0x00, 0x00, 0x80});
    EXPECT_EQ(plugin.LoadState(ragged), 11);
    EXPECT_EQ(plugin.GetParameter(0), 9.0f / 16.0f);
    EXPECT_EQ(plugin.GetParameter(1), 0.75f);
}

TEST(PluginState, ForeignChunksChangeNothing) {
    TestHost host;
    PluginInstance plugin;
    plugin.Start();
    plugin.SetParameter(0, 0.5f);
    const Bytes before = plugin.SaveState();

    Bytes wrongMarker = Chunk({-999.0f, 4.0f, 4.0f});
    Bytes notANumber = Chunk({std::numeric_limits<float>::quiet_NaN(), 4.0f, 4.0f});
    Bytes tooShort = {0x00, 0x00, 0x7A};
    for (Bytes* chunk : {&wrongMarker, &notANumber, &tooShort}) {
        SCOPED_TRACE(chunk->size());
        EXPECT_EQ(plugin.LoadState(*chunk), static_cast<VstIntPtr>(chunk->size()));
        EXPECT_EQ(plugin.SaveState(), before);
        EXPECT_EQ(Sources(plugin), std::pair(8, 1));
    }
    EXPECT_EQ(plugin.Dispatch(effSetChunk, 0, 0, nullptr), 0);
    EXPECT_EQ(plugin.SaveState(), before);
}

// The first load of an instance reads the host's settings (tempo included),
// once; later loads and ignored chunks ask the host nothing.
TEST(PluginState, FirstLoadReadsHostSettingsOnce) {
    TestHost host;
    PluginInstance plugin;
    host.calls.clear();
    plugin.LoadState(Chunk({-999.0f, 1.0f}));
    EXPECT_TRUE(host.calls.empty());

    plugin.LoadState(Chunk({-1000.0f, 1.0f}));
    const auto queries = host.CallsWith(audioMasterGetTime);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].value, kVstTempoValid);

    host.calls.clear();
    plugin.LoadState(Chunk({-1000.0f, 2.0f}));
    EXPECT_TRUE(host.calls.empty());
}

// Slider values from a chunk are not checked; out-of-range and non-finite
// ones must still leave every answer defined.
TEST(PluginState, ArbitraryValuesStayDefined) {
    TestHost host;
    PluginInstance plugin;
    plugin.Start();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const auto& [value1, value2] : {std::pair{nan, -inf}, std::pair{1e30f, -1e30f}, std::pair{-1.0f, 40.0f}}) {
        SCOPED_TRACE(value1);
        EXPECT_EQ(plugin.LoadState(Chunk({-1000.0f, value1, value2})), 12);
        for (VstInt32 p : {0, 1}) {
            EXPECT_FALSE(std::isnan(plugin.GetParameter(p)));
            EXPECT_FALSE(plugin.Text(effGetParamDisplay, p).empty());
        }
        AudioBuffers<double> buffers(16, 4);
        for (int c = 0; c < 16; ++c) std::fill(buffers.in[c].begin(), buffers.in[c].end(), double(c + 1));
        buffers.Process(plugin.effect);
        for (const auto& channel : buffers.out)
            for (double sample : channel) EXPECT_TRUE(std::isfinite(sample));
    }
    // Beyond either end the display shows the nearest name.
    EXPECT_EQ(plugin.Text(effGetParamDisplay, 0), "input channel 1");
    EXPECT_EQ(plugin.Text(effGetParamDisplay, 1), "none");
}

}  // namespace
