#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "vexil.h"

namespace {

using Log = std::vector<std::string>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Logs every section it runs; its serialize section moves Saved through the
// serialize stream, in order.
class TRecordingEffect final : public TVexil {
public:
    void DoSlider() override { Sections.push_back("slider"); }
    void DoInit() override { Sections.push_back("init"); }
    void DoOpen() override {
        Sections.push_back("open");
        TVexil::DoOpen();
    }
    void DoSerialize() override {
        Sections.push_back("serialize");
        for (Relaxed<double>& value : Saved) FileVar(SerializeStream(), value);
    }

    std::vector<double> SavedValues() const { return {Saved.begin(), Saved.end()}; }

    Log Sections;
    std::vector<Relaxed<double>> Saved;
};

std::string Display(const TRecordingEffect& fx, std::int32_t parameter, std::size_t size = 32) {
    std::vector<char> text(size + 1, 'x');
    text.back() = 0;
    fx.GetParameterDisplay(parameter, text.data(), size);
    return text.data();
}

TEST(RuntimeDriver, SectionsRunInTheDriversOrder) {
    TRecordingEffect fx;
    EXPECT_TRUE(fx.Sections.empty());  // construction clears state without running DoOpen

    const float chunk[] = {TVexil::kChunkMarker, 5.0f};
    fx.Saved = {0.0};
    fx.DoResume();
    EXPECT_EQ(fx.DoSetChunk(chunk, sizeof chunk, false), 8);
    EXPECT_EQ(fx.Sections, (Log{"init", "slider", "init", "serialize", "slider"}));
    EXPECT_EQ(fx.InitCount, 1);

    fx.Sections.clear();
    fx.DoResume();
    EXPECT_EQ(fx.InitCount, 1);
    EXPECT_EQ(fx.DoSetChunk(chunk, sizeof chunk, true), 8);
    EXPECT_EQ(fx.Sections, (Log{"init", "slider", "serialize", "slider"}));
    EXPECT_EQ(fx.InitCount, 2);
    EXPECT_EQ(fx.SavedValues(), std::vector<double>{5.0});
}

TEST(RuntimeDriver, OpenClearsMemoryAndStringsOnly) {
    TRecordingEffect fx;
    fx.Mem(4.99995) = 1.0;
    fx.Mem(-1) = 2.0;
    EXPECT_EQ(fx.Mem(5), 1.0);
    EXPECT_EQ(fx.BlockCount(), 2u);
    fx.Strings[1] = "text";
    fx.Values[3] = 4.0;
    fx.Samples[2] = 5.0;
    fx.SerializeStream().Buffer = {1.0f};

    // The second clearing finds nothing left to free.
    fx.DoOpen();
    fx.DoOpen();
    EXPECT_EQ(fx.Sections, (Log{"open", "open"}));
    EXPECT_EQ(fx.BlockCount(), 0u);
    EXPECT_TRUE(fx.Strings.empty());
    EXPECT_EQ(fx.Values[3], 4.0);
    EXPECT_EQ(fx.Samples[2], 5.0);
    EXPECT_EQ(fx.SerializeStream().Buffer.size(), 1u);
    EXPECT_EQ(fx.Mem(5), 0.0);
    EXPECT_EQ(fx.Mem(-1), 0.0);
}

void* gExpectedPlugin = nullptr;
double gSampleRate = 44100.0;

const TVexilHostServices kServices = {
    [](void* p) -> std::int32_t { return p == gExpectedPlugin ? 16 : -1; },
    [](void*) { return gSampleRate; },
    [](void*) -> std::int32_t { return 512; },
    [](void*) { return 120.0; },
    [](void*) -> std::int32_t { return 1; },
    [](void*) -> std::int32_t { return 1; },
    [](void*) { return 2.5; },
    [](void*, double* tempo, double* numerator, double* denominator) -> std::int32_t {
        *tempo = 90.0;
        *numerator = 3.0;
        *denominator = 4.0;
        return 1;
    },
    [](void*) { return true; },
    [](void*, std::int32_t samples) { return samples; },
    [](void*, bool on) -> std::int32_t { return on; },
};

TEST(RuntimeHost, QueriesAnswerZeroUntilAPluginIsAttachedThenAskEachTime) {
    TRecordingEffect fx;
    const auto expectAllZero = [&fx] {
        double tempo = -1.0, numerator = -1.0, denominator = -1.0;
        EXPECT_EQ(fx.QueryInputCount(), 0);
        EXPECT_EQ(fx.QuerySampleRate(), 0.0);
        EXPECT_EQ(fx.QueryBlockSize(), 0);
        EXPECT_EQ(fx.QueryTempo(), 0.0);
        EXPECT_EQ(fx.QueryPlaying(), 0);
        EXPECT_EQ(fx.QueryRecording(), 0);
        EXPECT_EQ(fx.QueryPlayPosition(), 0.0);
        EXPECT_EQ(fx.QueryTempoAndTimeSig(&tempo, &numerator, &denominator), 0);
        EXPECT_EQ(tempo, -1.0);
        EXPECT_FALSE(fx.QueryUpdateDisplay());
        EXPECT_EQ(fx.QuerySetLatency(64), 0);
    };
    expectAllZero();
    fx.AttachHost(nullptr, &kServices);  // the host refused the plug-in
    expectAllZero();

    int plugin = 0;
    gSampleRate = 44100.0;
    gExpectedPlugin = &plugin;
    fx.AttachHost(gExpectedPlugin, &kServices);
    EXPECT_EQ(fx.QueryInputCount(), 16);
    EXPECT_EQ(fx.QuerySampleRate(), 44100.0);
    gSampleRate = 96000.0;
    EXPECT_EQ(fx.QuerySampleRate(), 96000.0);
    double tempo = 0.0, numerator = 0.0, denominator = 0.0;
    EXPECT_EQ(fx.QueryTempoAndTimeSig(&tempo, &numerator, &denominator), 1);
    EXPECT_EQ(numerator, 3.0);
    EXPECT_EQ(fx.QuerySetLatency(64), 64);
}

TEST(RuntimeIndexing, SliderAtAndSampleAtRoundThenWrap) {
    TRecordingEffect fx;
    const struct {
        double x;
        std::size_t slider;
        std::size_t sample;
    } cases[] = {
        {2.99995, 3, 3},       {2.9998, 2, 2},      {15.99995, 16, 16},         {64.0, 64, 0},
        {130.0, 2, 2},         {-1.0, 127, 63},     {-0.5, 0, 0},               {-1.99995, 126, 62},
        {2147483647.0, 127, 63}, {-2147483647.0, 1, 1},
        // No integer meaning: slot 0.
        {kNaN, 0, 0},          {kInf, 0, 0},        {-kInf, 0, 0},              {4294967297.0, 0, 0},
        {-4294967297.0, 0, 0}, {1e300, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(&fx.SliderAt(c.x), &fx.Values[c.slider]) << c.x;
        EXPECT_EQ(&fx.SampleAt(c.x), &fx.Samples[c.sample]) << c.x;
    }
}

// Slider 1 of the patcher: 17 steps named n0 .. n16.
void AddRoutingSlider(TRecordingEffect& fx, std::int32_t index, double defaultValue) {
    fx.AddSlider(index, defaultValue, 0.0, 16.0, 1.0, "", "", "ch", "routed");
    for (int i = 0; i <= 16; ++i) fx.Sliders.back().Enums.push_back(std::string("n").append(std::to_string(i)));
}

TEST(RuntimeParameters, SetQuantisesToStepMultiplesWithoutClamping) {
    TRecordingEffect fx;
    AddRoutingSlider(fx, 1, 0.0);
    fx.AddSlider(2, 0.5, 0.5, 10.5, 1.0, "", "", "", "offset grid");

    const struct {
        double normalized;
        double stored;
    } cases[] = {{0.5, 8.0}, {0.53, 8.0}, {0.54f, 9.0}, {0.53f, 8.0}, {1.5, 24.0}, {-0.21875, -3.0}};
    for (const auto& c : cases) {
        fx.SetParameter(0, c.normalized);
        EXPECT_EQ(fx.Values[1], c.stored) << c.normalized;
    }
    fx.SetParameter(0, 0.54);
    EXPECT_FLOAT_EQ(fx.GetParameter(0), 0.5625f);
    fx.Values[1] = -16.0;
    EXPECT_FLOAT_EQ(fx.GetParameter(0), -1.0f);

    // The grid counts from zero, not from the minimum.
    fx.SetParameter(1, 0.0);
    EXPECT_EQ(fx.Values[2], 1.0);
}

TEST(RuntimeParameters, SetStoresMirrorsAndRunsSliderOnlyForARealMove) {
    TRecordingEffect fx;
    fx.AddSlider(1, 0.5, 0.0, 1.0, 0.0, "", "", "", "unquantised");
    fx.AddSlider(2, 0.0, 0.0, 1.0, -1.0, "", "", "", "negative step");
    Relaxed<double> mirror = -1.0;
    fx.Sliders[0].Variable = &mirror;

    fx.SetParameter(0, 0.500009);
    fx.SetParameter(0, 0.499991);
    fx.SetParameter(0, kNaN);
    fx.SetParameter(0, kInf);
    EXPECT_EQ(fx.Values[1], 0.5);
    EXPECT_EQ(mirror, -1.0);
    EXPECT_TRUE(fx.Sections.empty());

    fx.SetParameter(0, 0.123);
    EXPECT_EQ(fx.Values[1], 0.123);
    EXPECT_EQ(mirror, 0.123);
    fx.SetParameter(1, 0.123);
    EXPECT_EQ(fx.Values[2], 0.123);
    EXPECT_EQ(fx.Sections, (Log{"slider", "slider"}));
}

TEST(RuntimeParameters, ParameterIsTheDeclarationWhateverItsSliderNumber) {
    TRecordingEffect fx;
    AddRoutingSlider(fx, 5, 4.0);
    fx.AddSlider(2, 3.0, 0.0, 16.0, 1.0, "", "", "dB", "second");
    ASSERT_EQ(fx.Sliders.size(), 2u);
    EXPECT_TRUE(fx.Sliders[0].IsPrepared);
    EXPECT_EQ(fx.Values[5], 4.0);
    EXPECT_EQ(fx.Values[2], 3.0);

    EXPECT_FLOAT_EQ(fx.GetParameter(0), 0.25f);
    fx.SetParameter(1, 0.5);
    EXPECT_EQ(fx.Values[2], 8.0);
    EXPECT_EQ(fx.Values[5], 4.0);

    char text[16];
    fx.GetParameterName(1, text, sizeof text);
    EXPECT_STREQ(text, "second");
    fx.GetParameterLabel(1, text, sizeof text);
    EXPECT_STREQ(text, "dB");
}

TEST(RuntimeParameters, IndicesOutsideTheRecordsReadAndWriteNothing) {
    TRecordingEffect fx;
    AddRoutingSlider(fx, 1, 4.0);
    for (const std::int32_t parameter : {-1, 1, 1000}) {
        EXPECT_EQ(fx.GetParameter(parameter), 0.0f);
        fx.SetParameter(parameter, 1.0);
        char text[8] = "xxxxxxx";
        fx.GetParameterName(parameter, text, sizeof text);
        EXPECT_STREQ(text, "");
        std::strcpy(text, "xxxxxxx");
        fx.GetParameterLabel(parameter, text, sizeof text);
        EXPECT_STREQ(text, "");
        EXPECT_EQ(Display(fx, parameter), "");
    }
    EXPECT_EQ(fx.Values[1], 4.0);
    EXPECT_TRUE(fx.Sections.empty());
}

TEST(RuntimeParameters, DisplayShowsTheTruncatedClampedNameOrTwoDecimals) {
    TRecordingEffect fx;
    AddRoutingSlider(fx, 1, 0.0);
    const struct {
        double value;
        const char* shown;
    } cases[] = {{3.0, "n3"},  {2.99, "n2"}, {16.0, "n16"}, {-1.0, "n0"},  {100.0, "n16"},
                 {kNaN, "n0"}, {1e300, "n16"}, {-1e300, "n0"}, {-kInf, "n0"}};
    for (const auto& c : cases) {
        fx.Values[1] = c.value;
        EXPECT_EQ(Display(fx, 0), c.shown) << c.value;
    }
    fx.Values[1] = 16.0;
    EXPECT_EQ(Display(fx, 0, 3), "n1");

    fx.AddSlider(2, 0.126, 0.0, 1.0, 0.01, "", "", "", "numeric");
    EXPECT_EQ(Display(fx, 1), "0.13");
}

TEST(RuntimeParameters, EmptyRangeDividesNothing) {
    TRecordingEffect fx;
    AddRoutingSlider(fx, 1, 7.0);
    fx.Sliders[0].Min = fx.Sliders[0].Max = 7.0;
    fx.AddSlider(2, 2.0, 2.0, 2.0, 1.0, "", "", "", "numeric");

    EXPECT_EQ(fx.GetParameter(0), 0.0f);
    EXPECT_EQ(Display(fx, 0), "n0");
    EXPECT_EQ(Display(fx, 1), "2.00");
    fx.Values[1] = 9.0;
    EXPECT_EQ(fx.GetParameter(0), 0.0f);
    EXPECT_EQ(Display(fx, 0), "n0");
    fx.SetParameter(0, 0.75);
    EXPECT_EQ(fx.Values[1], 7.0);
}

TEST(RuntimeFiles, FileVarFollowsTheMode) {
    TVexilFile file;
    Relaxed<double> value = 1.0;
    CVexilFiles::FileVar(file, value);
    EXPECT_TRUE(file.Buffer.empty());
    EXPECT_EQ(file.Position, 0);

    CVexilFiles::ResetFile(file, TVexilFile::Writing);
    for (const double written : {1.00000001, 2.0, 3.0}) {
        value = written;
        CVexilFiles::FileVar(file, value);
    }
    EXPECT_EQ(file.Buffer, (std::vector<float>{1.0f, 2.0f, 3.0f}));
    EXPECT_EQ(file.Position, 3);

    file.Mode = TVexilFile::Reading;
    file.Position = 0;
    std::vector<Relaxed<double>> read(4, 42.0);
    for (Relaxed<double>& r : read) CVexilFiles::FileVar(file, r);
    EXPECT_EQ((std::vector<double>{read.begin(), read.end()}), (std::vector<double>{1.0, 2.0, 3.0, 42.0}));
    EXPECT_EQ(file.Position, 3);

    file.Mode = TVexilFile::Writing;
    file.Position = 5;
    CVexilFiles::FileVar(file, value);
    EXPECT_EQ(file.Buffer, (std::vector<float>{1.0f, 2.0f, 3.0f, 0.0f, 0.0f, 3.0f}));
}

TEST(RuntimeChunks, SaveWritesTheMarkerThenEachValueAsLittleEndianFloat) {
    TRecordingEffect fx;
    fx.Saved = {1.0, 2.5};
    void* data = nullptr;
    ASSERT_EQ(fx.DoGetChunk(&data, false), 12);
    const unsigned char expected[] = {0x00, 0x00, 0x7A, 0xC4, 0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x20, 0x40};
    EXPECT_EQ(std::memcmp(data, expected, sizeof expected), 0);
    EXPECT_EQ(fx.Sections, Log{"serialize"});
    EXPECT_EQ(fx.SerializeStream().Mode, TVexilFile::Writing);
    EXPECT_EQ(fx.InitCount, 0);
}

TEST(RuntimeChunks, SaveOfNothingAnswersZeroAndLeavesThePointer) {
    TRecordingEffect fx;
    int previous = 0;
    void* data = &previous;
    EXPECT_EQ(fx.DoGetChunk(&data, true), 0);
    EXPECT_EQ(data, &previous);
}

TEST(RuntimeChunks, LoadsTheBufferItsOwnSaveHandedOut) {
    TRecordingEffect fx;
    fx.Saved = {1.00000001, -3.25, 64.0};
    void* data = nullptr;
    const std::int32_t bytes = fx.DoGetChunk(&data, false);
    ASSERT_EQ(bytes, 16);
    fx.Saved = {0.0, 0.0, 0.0};

    EXPECT_EQ(fx.DoSetChunk(data, bytes, false), bytes);
    EXPECT_EQ(fx.SavedValues(), (std::vector<double>{1.0, -3.25, 64.0}));
    EXPECT_EQ(fx.SerializeStream().Mode, TVexilFile::Reading);
    EXPECT_EQ(fx.SerializeStream().Buffer.size(), 4u);
}

TEST(RuntimeChunks, UnusableChunksLoadNothingAndAnswerTheirByteCount) {
    const float marked[] = {TVexil::kChunkMarker, 7.0f, 0.0f};
    const float wrongMarker[] = {-999.0f, 7.0f};
    const float nanMarker[] = {std::numeric_limits<float>::quiet_NaN(), 7.0f};
    const Log loaded{"init", "serialize", "slider"};
    const struct {
        const char* name;
        const void* data;
        std::int32_t bytes;
        Log sections;
        std::vector<double> saved;
        std::size_t buffered;
    } cases[] = {
        {"empty", marked, 0, {}, {42.0, 42.0}, 0},
        {"short", marked, 3, {}, {42.0, 42.0}, 0},
        {"marker only", marked, 5, loaded, {42.0, 42.0}, 1},
        {"odd length", marked, 10, loaded, {7.0, 42.0}, 2},
        {"wrong marker", wrongMarker, 8, {}, {42.0, 42.0}, 2},
        {"NaN marker", nanMarker, 8, {}, {42.0, 42.0}, 2},
        {"null data", nullptr, 8, {}, {42.0, 42.0}, 0},
        {"negative count", marked, -4, {}, {42.0, 42.0}, 0},
    };
    for (const auto& c : cases) {
        TRecordingEffect fx;
        fx.Saved = {42.0, 42.0};
        EXPECT_EQ(fx.DoSetChunk(c.data, c.bytes, false), c.bytes) << c.name;
        EXPECT_EQ(fx.Sections, c.sections) << c.name;
        EXPECT_EQ(fx.SavedValues(), c.saved) << c.name;
        EXPECT_EQ(fx.SerializeStream().Buffer.size(), c.buffered) << c.name;
        EXPECT_EQ(fx.SerializeStream().Mode, TVexilFile::Reading) << c.name;
    }
}

}  // namespace
