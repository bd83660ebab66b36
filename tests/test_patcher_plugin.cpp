// The neutral plug-in interface that the CLAP and LV2 adapters translate
// into: plain parameter values, texts, state, transport and the block split
// at parameter changes, with any buffers a host may pass.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "patcher_effect.h"
#include "patcher_plugin.h"

namespace {

constexpr int kChannels = CPatcherPlugin::kChannels;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

std::vector<std::uint8_t> Chunk(std::vector<float> values) {
    values.insert(values.begin(), -1000.0f);
    std::vector<std::uint8_t> bytes(values.size() * sizeof(float));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

// Input channel c carries 1000·(c+1) + frame, so every output sample tells its source.
template <class Sample>
Sample Tone(int channel, int frame) {
    return static_cast<Sample>(1000 * (channel + 1) + frame);
}

template <class Sample>
struct Buffers {
    // `offset` frames between each input and its output: 0 is in place.
    Buffers(int frames, int offset, bool separate) : pool(static_cast<std::size_t>(kChannels * (2 * frames + 400))) {
        for (int c = 0; c < kChannels; ++c) {
            in[c] = pool.data() + static_cast<std::ptrdiff_t>(c) * (2 * frames + 400) + 200;
            out[c] = separate ? nullptr : in[c] + offset;
            for (int j = 0; j < frames; ++j) in[c][j] = Tone<Sample>(c, j);
        }
        if (separate) {
            outPool.resize(static_cast<std::size_t>(kChannels * frames));
            for (int c = 0; c < kChannels; ++c) out[c] = outPool.data() + static_cast<std::ptrdiff_t>(c) * frames;
        }
    }
    std::vector<Sample> pool, outPool;
    Sample* in[kChannels];
    Sample* out[kChannels];
};

}  // namespace

TEST(PatcherPlugin, DescribesItselfAndMapsTextsBothWays) {
    EXPECT_EQ(CPatcherPlugin::Name(), "Brindlefox_multi-channel patcher 16 ins to 2 outs");
    EXPECT_EQ(CPatcherPlugin::Vendor(), "Brindlefox");
    EXPECT_STREQ(CPatcherPlugin::Version(), "1.2.0");
    ASSERT_EQ(CPatcherPlugin::ParameterCount(), 2);
    const auto description = std::make_unique<TVexilEffect>();
    for (std::int32_t p = 0; p < 2; ++p) {
        // The neutral description says what the runtime's record says.
        const TPatcherParameter& info = *CPatcherPlugin::ParameterInfo(p);
        const TVexilSlider& slider = *description->SliderRecord(p);
        EXPECT_EQ(info.Name, slider.Name);
        EXPECT_EQ(info.Default, p);
        EXPECT_EQ(info.Min, 0.0);
        EXPECT_EQ(info.Max, 16.0);
        EXPECT_EQ(info.Step, 1.0);
        EXPECT_EQ(info.Choices, slider.Enums);
        ASSERT_EQ(info.Choices.size(), 17u);
        EXPECT_EQ(info.Choices[16], "none");
    }
    EXPECT_EQ(CPatcherPlugin::ParameterInfo(1)->Name, "routed to channel 2");
    for (std::int32_t unknown : {2, -1}) {
        EXPECT_EQ(CPatcherPlugin::ParameterInfo(unknown), nullptr);
    }

    for (int v = 0; v <= 16; ++v) {
        char text[32];
        ASSERT_TRUE(CPatcherPlugin::ValueText(0, v, text, sizeof text));
        EXPECT_EQ(std::string(text), v < 16 ? "input channel " + std::to_string(v + 1) : "none");
        double value = -1.0;
        ASSERT_TRUE(CPatcherPlugin::TextValue(1, text, value));
        EXPECT_EQ(value, v);
    }
    const struct {
        double value;
        const char* text;  // null: refused
    } values[] = {{2.49, "input channel 3"}, {2.5, "input channel 4"}, {-3.0, "input channel 1"},
                  {15.6, "none"},            {1e300, "none"},          {kNaN, nullptr},
                  {-kInf, nullptr}};
    for (const auto& c : values) {
        char text[32] = "untouched";
        EXPECT_EQ(CPatcherPlugin::ValueText(0, c.value, text, sizeof text), c.text != nullptr) << c.value;
        EXPECT_STREQ(text, c.text ? c.text : "untouched") << c.value;
    }
    char small[6];
    ASSERT_TRUE(CPatcherPlugin::ValueText(0, 3.0, small, sizeof small));
    EXPECT_STREQ(small, "input");
}

TEST(PatcherPlugin, TypedTextsNamingOneChoiceAreTakenAndOthersRefused) {
    const struct {
        const char* text;
        double value;  // negative: refused
    } texts[] = {
        {"5", 4.0},          {"16", 15.0},           {" 1\t", 0.0},          {"input channel 5", 4.0},
        {"Input Channel 1", 0.0}, {"  INPUT CHANNEL 12 ", 11.0}, {"none", 16.0},   {" None", 16.0},
        {"NONE", 16.0},      {"none ", 16.0},        {"\nnOnE\r", 16.0},
        {"", -1},            {"  ", -1},             {"0", -1},               {"17", -1},
        {"01", -1},          {"05", -1},             {"+5", -1},              {"-1", -1},
        {"5.0", -1},         {"5 5", -1},            {"input channel 17", -1}, {"input channel 01", -1},
        {"input channel", -1}, {"channel 5", -1},    {"inputchannel 5", -1},  {"input  channel 5", -1},
        {"no", -1},          {"nonee", -1},          {"input channel 5x", -1}, {"channel", -1},
    };
    for (std::int32_t index : {0, 1})
        for (const auto& c : texts) {
            double value = 7.0;
            EXPECT_EQ(CPatcherPlugin::TextValue(index, c.text, value), c.value >= 0) << c.text;
            EXPECT_EQ(value, c.value >= 0 ? c.value : 7.0) << c.text;
        }
    double value = 7.0;
    EXPECT_FALSE(CPatcherPlugin::TextValue(5, "none", value));
    EXPECT_FALSE(CPatcherPlugin::TextValue(-1, "5", value));
    EXPECT_EQ(value, 7.0);
}

TEST(PatcherPlugin, PlainValuesAreRoundedHeldInRangeAndNonFiniteOnesIgnored) {
    CPatcherPlugin plugin;
    EXPECT_EQ(plugin.ParameterValue(0), 0.0);
    EXPECT_EQ(plugin.ParameterValue(1), 1.0);
    const struct {
        double value;
        bool taken;
        double shown;
    } cases[] = {{3.0, true, 3.0},   {3.4, true, 3.0},  {3.5, true, 4.0},    {-5.0, true, 0.0},  {99.0, true, 16.0},
                 {16.0, true, 16.0}, {kNaN, false, 16.0}, {kInf, false, 16.0}, {-kInf, false, 16.0}, {0.2, true, 0.0}};
    for (const auto& c : cases) {
        EXPECT_EQ(plugin.SetParameterValue(1, c.value), c.taken) << c.value;
        EXPECT_EQ(plugin.ParameterValue(1), c.shown) << c.value;
    }
    EXPECT_FALSE(plugin.SetParameterValue(2, 1.0));
    EXPECT_EQ(plugin.ParameterValue(2), 0.0);
}

TEST(PatcherPlugin, StateIsTheVst2ChunkAndOddValuesShowAsTheyRoute) {
    CPatcherPlugin plugin;
    plugin.Activate(48000.0, 64);
    const std::uint8_t* bytes = nullptr;
    ASSERT_EQ(plugin.SaveState(bytes), CPatcherPlugin::kStateBytes);
    std::vector<float> defaults(65);
    std::memcpy(defaults.data(), bytes, CPatcherPlugin::kStateBytes);
    EXPECT_EQ(defaults[0], -1000.0f);
    EXPECT_EQ(defaults[1], 0.0f);
    EXPECT_EQ(defaults[2], 1.0f);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        std::vector<float> values;
        double shown1, shown2;
        int source1, source2;  // input read by outputs 1 and 2; -1 silence
    } loads[] = {
        {{5, 9}, 5, 9, 5, 9},
        {{20, -1}, 16, 16, -1, -1},      // slots past the inputs, and the top slot, are silent
        {{2.5f, nan}, 2, 0, 2, 0},       // index rounding; NaN routes as 0
        {{15.99995f, 16}, 16, 16, -1, -1},
        {{7}, 7, 16, 7, -1},             // one value: slider 2 keeps what it had
    };
    for (const auto& load : loads) {
        std::vector<float> values = load.values;
        values.resize(64, 0.0f);
        values.resize(load.values.size() == 1 ? 1 : 64);
        const auto chunk = Chunk(values);
        ASSERT_TRUE(plugin.LoadState(chunk.data(), chunk.size()));
        EXPECT_EQ(plugin.ParameterValue(0), load.shown1);
        EXPECT_EQ(plugin.ParameterValue(1), load.shown2);

        Buffers<float> buffers(8, 0, true);
        plugin.BeginBlock<float>(nullptr, buffers.in, buffers.out, 8).Finish();
        for (int o = 0; o < 2; ++o) {
            const int source = o == 0 ? load.source1 : load.source2;
            EXPECT_EQ(buffers.out[o][3], source < 0 ? 0.0f : Tone<float>(source, 3)) << o;
        }
        // Saved again as loaded, byte for byte, odd values included.
        if (load.values.size() > 1) {
            ASSERT_EQ(plugin.SaveState(bytes), chunk.size());
            EXPECT_EQ(std::memcmp(bytes, chunk.data(), chunk.size()), 0);
        }
    }

    // Refused chunks change nothing; extra and partial bytes are ignored.
    auto good = Chunk(std::vector<float>(64, 3.0f));
    auto longer = good;
    longer.resize(good.size() + 11, 0x7f);
    ASSERT_TRUE(plugin.LoadState(longer.data(), longer.size()));
    auto partial = Chunk({4.0f, 4.0f});
    ASSERT_TRUE(plugin.LoadState(partial.data(), partial.size() - 1));
    EXPECT_EQ(plugin.ParameterValue(0), 4.0);
    EXPECT_EQ(plugin.ParameterValue(1), 3.0);
    auto unmarked = good;
    unmarked[0] ^= 1;
    EXPECT_FALSE(plugin.LoadState(unmarked.data(), unmarked.size()));
    EXPECT_FALSE(plugin.LoadState(good.data(), 3));
    EXPECT_FALSE(plugin.LoadState(nullptr, 260));
    EXPECT_EQ(plugin.ParameterValue(0), 4.0);
}

TEST(PatcherPlugin, ChangesLandOnTheirFrameAndOverlappingBuffersActSeparate) {
    const auto run = [](auto sample, int offset, bool separate, std::int32_t announced = 256) {
        using Sample = decltype(sample);
        constexpr int kFrames = 300;
        CPatcherPlugin plugin;
        plugin.Activate(44100.0, announced);  // staging covers more than announced
        Buffers<Sample> buffers(kFrames, offset, separate);
        auto block = plugin.BeginBlock<Sample>(nullptr, buffers.in, buffers.out, kFrames);
        block.RenderUntil(10);
        plugin.SetParameterValue(0, 5);
        block.RenderUntil(10);
        plugin.SetParameterValue(0, 6);  // the later change at one frame wins
        block.RenderUntil(200);
        plugin.SetParameterValue(1, 16);
        block.RenderUntil(150);  // already rendered: nothing
        block.Finish();
        block.RenderUntil(100000);
        for (int j = 0; j < kFrames; ++j) {
            ASSERT_EQ(buffers.out[0][j], Tone<Sample>(j < 10 ? 0 : 6, j)) << offset << " " << j;
            ASSERT_EQ(buffers.out[1][j], j < 200 ? Tone<Sample>(1, j) : Sample(0)) << offset << " " << j;
            for (int c = 2; c < kChannels; ++c) ASSERT_EQ(buffers.out[c][j], Sample(0)) << offset << " " << c;
        }
    };
    for (int offset : {0, 1, -1, 7, -150}) {
        run(0.0f, offset, false);
        run(0.0, offset, false);
    }
    run(0.0f, 0, true);
    run(0.0, 0, true);
    // A host announcing an absurd maximum still gets its overlapping buffers staged.
    run(0.0f, 7, false, std::numeric_limits<std::int32_t>::max());

    // The same buffers again, in blocks long enough to meet only from the third on.
    CPatcherPlugin plugin;
    plugin.Activate(44100.0, 512);
    plugin.SetParameterValue(0, 5);
    Buffers<float> buffers(300, 150, false);
    for (int frames : {100, 150, 151, 300, 100, 300}) {
        for (int c = 0; c < kChannels; ++c)
            for (int j = 0; j < 300; ++j) buffers.in[c][j] = Tone<float>(c, j);
        plugin.BeginBlock<float>(nullptr, buffers.in, buffers.out, static_cast<std::uint32_t>(frames)).Finish();
        for (int j = 0; j < frames; ++j) ASSERT_EQ(buffers.out[0][j], Tone<float>(5, j)) << frames << " " << j;
    }
}

TEST(PatcherPlugin, BlockSectionSeesTheTransportAndActivationSeesTheRates) {
    CPatcherPlugin plugin;
    plugin.Activate(96000.0, 2048);
    const TVexilEffect& effect = plugin.GetEffect();
    EXPECT_EQ(effect.SampleRate, 96000.0);
    EXPECT_EQ(effect.BlockSize, 2048.0);
    EXPECT_EQ(effect.ChannelCount, 16.0);

    float in[kChannels][4] = {}, out[kChannels][4];
    float* inputs[kChannels];
    float* outputs[kChannels];
    for (int c = 0; c < kChannels; ++c) {
        inputs[c] = in[c];
        outputs[c] = out[c];
    }
    TPatcherTransport transport;
    transport.HasTempo = true;
    transport.Tempo = 140.0;
    transport.HasTimeSignature = true;
    transport.TimeSigNumerator = 7.0;
    transport.TimeSigDenominator = 8.0;
    transport.HasPosition = true;
    transport.QuarterNotes = 33.25;
    transport.Playing = true;
    transport.Recording = true;
    plugin.BeginBlock<float>(&transport, inputs, outputs, 4).Finish();
    EXPECT_EQ(effect.Tempo, 140.0);
    EXPECT_EQ(effect.TimeSigNumerator, 7.0);
    EXPECT_EQ(effect.TimeSigDenominator, 8.0);
    EXPECT_EQ(effect.BeatPosition, 33.25);
    EXPECT_EQ(effect.PlayState, 5.0);

    // Without a transport the block section keeps what it had and sees no play.
    plugin.BeginBlock<float>(nullptr, inputs, outputs, 4).Finish();
    EXPECT_EQ(effect.Tempo, 140.0);
    EXPECT_EQ(effect.TimeSigNumerator, 7.0);
    EXPECT_EQ(effect.BeatPosition, 0.0);
    EXPECT_EQ(effect.PlayState, 0.0);
}

// Whatever channels a host hands over: what it gives is written, routed where
// the input exists and silent otherwise; nothing else is read or written.
TEST(PatcherPlugin, AnyChannelLayoutWritesWhatIsGivenAndNothingElse) {
    constexpr std::uint32_t kMost = 24;
    const struct {
        std::uint32_t ins, outs;
        bool noInputs, noOutputs;
        int nullInput, nullOutput;  // an entry left null; -1 for none
        bool inPlace;
        std::uint32_t frames;
        std::int32_t announced;  // 0: never activated
    } layouts[] = {
        {16, 16, false, false, -1, -1, false, 300, 256},   {16, 16, false, false, -1, -1, true, 300, 256},
        {4, 16, false, false, -1, -1, false, 300, 256},    {8, 2, false, false, -1, -1, true, 300, 256},
        {13, 1, false, false, -1, -1, false, 300, 256},    {24, 24, false, false, -1, -1, false, 300, 256},
        {24, 24, false, false, -1, -1, true, 300, 256},    {16, 16, false, false, 5, -1, false, 300, 256},
        {16, 16, false, false, 12, 0, true, 300, 256},     {16, 16, false, false, -1, 1, true, 300, 256},
        {16, 20, false, false, -1, 17, false, 300, 256},   {0, 0, false, false, -1, -1, false, 300, 256},
        {16, 16, true, false, -1, -1, false, 300, 256},    {16, 16, false, true, -1, -1, false, 300, 256},
        {16, 1, false, false, -1, -1, false, 9000, 256},   {6, 24, false, false, 1, -1, true, 9000, 256},
        {2, 24, false, false, -1, -1, false, 300, 0},      {24, 3, false, false, -1, 2, true, 1000, 0},
        {16, 16, false, false, -1, -1, true, 1000, 0},
    };
    const auto run = [&](auto sample, const auto& layout) {
        using Sample = decltype(sample);
        const std::uint32_t frames = layout.frames;
        const std::uint32_t change = frames / 2 + 1;
        constexpr Sample kUntouched = 42;
        std::vector<std::vector<Sample>> in(kMost), out(kMost);
        Sample* inputs[kMost];
        Sample* outputs[kMost];
        for (std::uint32_t c = 0; c < kMost; ++c) {
            in[c].resize(frames);
            for (std::uint32_t j = 0; j < frames; ++j) in[c][j] = Tone<Sample>(static_cast<int>(c), static_cast<int>(j));
            out[c].assign(frames, kUntouched);
            inputs[c] = in[c].data();
            outputs[c] = layout.inPlace ? in[c].data() : out[c].data();
        }
        const auto given = [&](bool none, std::uint32_t count, int null, std::uint32_t c) {
            return !none && c < count && static_cast<int>(c) != null;
        };
        for (std::uint32_t c = 0; c < kMost; ++c) {
            if (static_cast<int>(c) == layout.nullInput) inputs[c] = nullptr;
            if (static_cast<int>(c) == layout.nullOutput) outputs[c] = nullptr;
        }

        CPatcherPlugin plugin;
        if (layout.announced > 0) plugin.Activate(48000.0, layout.announced);
        plugin.SetParameterValue(0, 5);
        plugin.SetParameterValue(1, 12);
        auto block = plugin.BeginBlock<Sample>(nullptr, layout.noInputs ? nullptr : inputs, layout.ins,
                                               layout.noOutputs ? nullptr : outputs, layout.outs, frames);
        block.RenderUntil(change);
        plugin.SetParameterValue(0, 1);
        plugin.SetParameterValue(1, 16);
        block.Finish();

        for (std::uint32_t c = 0; c < kMost; ++c) {
            const Sample* written = layout.inPlace ? in[c].data() : out[c].data();
            const bool isOutput = given(layout.noOutputs, layout.outs, layout.nullOutput, c);
            for (std::uint32_t j = 0; j < frames; ++j) {
                Sample expected = layout.inPlace ? Tone<Sample>(static_cast<int>(c), static_cast<int>(j)) : kUntouched;
                if (isOutput) {
                    const int source = c == 0 ? (j < change ? 5 : 1) : c == 1 && j < change ? 12 : -1;
                    const bool routed =
                        source >= 0 && given(layout.noInputs, layout.ins, layout.nullInput, static_cast<std::uint32_t>(source));
                    expected = routed ? Tone<Sample>(source, static_cast<int>(j)) : Sample(0);
                }
                ASSERT_EQ(written[j], expected) << "ins " << layout.ins << " outs " << layout.outs << " frames "
                                                << frames << " channel " << c << " frame " << j;
            }
        }
    };
    for (const auto& layout : layouts) {
        run(0.0f, layout);
        run(0.0, layout);
    }
}
