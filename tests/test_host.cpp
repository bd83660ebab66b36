// The host library against our plug-in and against a fake one built unlike
// it. Nothing here needs libsndfile.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "block_renderer.h"
#include "fx_preset.h"
#include "host_error.h"
#include "host_session.h"
#include "parameters.h"
#include "pending_file.h"
#include "plugin_info.h"
#include "tones.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// Windows builds link a runtime into each module: a plug-in's exception
// cannot reach the host there (on i686 it ends the process).
#if defined(_WIN32)
#define SKIP_WHERE_EXCEPTIONS_STAY_IN_THEIR_MODULE() GTEST_SKIP() << "exceptions do not cross Windows modules"
#else
#define SKIP_WHERE_EXCEPTIONS_STAY_IN_THEIR_MODULE()
#endif

std::string PatcherPath() {
    if (const char* path = std::getenv("MULTICHANNEL_PATCHER")) return path;
    return MULTICHANNEL_PATCHER_PATH;
}

std::unique_ptr<HostSession> Patcher() { return HostSession::Load(PatcherPath()); }
std::unique_ptr<HostSession> Fake() { return HostSession::Load(FAKE_PLUGIN_PATH); }

void SetFakeMode(const char* mode) {
#if defined(_WIN32)
    _putenv_s("FAKE_PLUGIN_MODE", mode);
#else
    setenv("FAKE_PLUGIN_MODE", mode, 1);
#endif
}

// The exit code a failure would give, or 0 if `action` succeeds.
template <class Action>
int CodeOf(Action action, std::string* message = nullptr) {
    try {
        action();
    } catch (const HostError& error) {
        if (message) *message = error.what();
        return static_cast<int>(error.Code());
    }
    return 0;
}

class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("vsthost-test-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
        return names;
    }
    fs::path dir;
};

TEST(HostSession, StartsOurPluginAsADawDoes) {
    const auto session = Patcher();
    const AEffect* effect = session->Effect();
    EXPECT_EQ(effect->numInputs, 16);
    EXPECT_EQ(effect->numOutputs, 16);
    EXPECT_EQ(effect->numParams, 2);
    EXPECT_EQ(session->UniqueId(), 0);
    EXPECT_EQ(session->VendorVersion(), 1000);
    EXPECT_EQ(session->SampleRate(), HostSession::kDefaultSampleRate);
    EXPECT_EQ(session->Time().tempo, 120.0);
    EXPECT_EQ(session->Time().timeSigNumerator, 4);
    EXPECT_EQ(session->Time().timeSigDenominator, 4);
    EXPECT_EQ(session->Text(effGetVendorString), "Brindlefox");
}

TEST(HostSession, RefusesWhatIsNoVst2Plugin) {
    std::string message;
    EXPECT_EQ(CodeOf([] { HostSession::Load("/nonexistent/plugin.so"); }, &message), int(ExitCode::File));
    EXPECT_NE(message.find("no such file"), std::string::npos);
    EXPECT_EQ(CodeOf([] { HostSession::Load(NOT_A_PLUGIN_PATH); }, &message), int(ExitCode::Plugin));
    EXPECT_NE(message.find("VSTPluginMain"), std::string::npos);
    for (const char* mode : {"refuse", "badmagic"}) {
        SetFakeMode(mode);
        EXPECT_EQ(CodeOf([] { Fake(); }, &message), int(ExitCode::Plugin)) << mode;
        EXPECT_NE(message.find(FAKE_PLUGIN_PATH), std::string::npos) << message;
    }
    SetFakeMode("");
    const fs::path text = fs::temp_directory_path() / "vsthost-test-not-a-library.so";
    std::ofstream(text) << "not a library\n";
    EXPECT_EQ(CodeOf([&] { HostSession::Load(text.string()); }), int(ExitCode::Plugin));
    fs::remove(text);
}

TEST(Parameters, ByNameIndexAndDisplayText) {
    const auto session = Patcher();
    const auto params = ListParameters(*session);
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0].name, "routed to channel 1");
    EXPECT_EQ(params[0].display, "input channel 1");
    EXPECT_EQ(params[1].display, "input channel 2");

    EXPECT_EQ(FindParameter(*session, "routed to channel 2"), 1);
    EXPECT_EQ(FindParameter(*session, "  Routed To Channel 2 "), 1);
    EXPECT_EQ(FindParameter(*session, "0"), 0);
    EXPECT_EQ(FindParameter(*session, "2"), -1);
    EXPECT_EQ(FindParameter(*session, "routed to channel 3"), -1);

    ApplySetting(*session, "routed to channel 1=input channel 4");
    ApplySetting(*session, "1=None");
    EXPECT_EQ(DescribeParameter(*session, 0).display, "input channel 4");
    EXPECT_FLOAT_EQ(DescribeParameter(*session, 0).value, 3.0f / 16.0f);
    EXPECT_EQ(DescribeParameter(*session, 1).display, "none");
    for (int channel = 1; channel <= 16; ++channel) {
        // append, not `"..." + std::string`: GCC 12 for 32-bit targets reports a false -Wrestrict on that.
        const std::string text = std::string("input channel ").append(std::to_string(channel));
        ApplySetting(*session, "0=" + text);
        EXPECT_EQ(DescribeParameter(*session, 0).display, text);
    }
    ApplySetting(*session, "0=0.25");
    EXPECT_EQ(DescribeParameter(*session, 0).display, "input channel 5");
}

TEST(Parameters, RejectsWhatNoParameterTakesAndChangesNothing) {
    const auto session = Patcher();
    ApplySetting(*session, "0=input channel 9");
    std::string message;
    EXPECT_EQ(CodeOf([&] { ApplySetting(*session, "volume=1"); }, &message), int(ExitCode::Parameter));
    EXPECT_NE(message.find("\"routed to channel 1\", \"routed to channel 2\""), std::string::npos) << message;
    EXPECT_EQ(CodeOf([&] { ApplySetting(*session, "5=0.5"); }), int(ExitCode::Parameter));
    EXPECT_EQ(CodeOf([&] { ApplySetting(*session, "0=input channel 17"); }, &message), int(ExitCode::Parameter));
    EXPECT_NE(message.find("\"input channel 1\" to \"none\""), std::string::npos) << message;
    EXPECT_EQ(CodeOf([&] { ApplySetting(*session, "0=1.5"); }), int(ExitCode::Parameter));
    EXPECT_EQ(CodeOf([&] { ApplySetting(*session, "0=-0.1"); }), int(ExitCode::Parameter));
    EXPECT_EQ(CodeOf([&] { ApplySetting(*session, "no equals sign"); }), int(ExitCode::Usage));
    EXPECT_EQ(DescribeParameter(*session, 0).display, "input channel 9");
}

// Parameters as third-party plug-ins show them: texts between any sweep's
// points, a number that is also a normalised value, a shared name.
TEST(Parameters, ValuesMeanWhatTheUserMeant) {
    SetFakeMode("multiband");
    const auto session = Fake();
    const struct {
        const char* setting;
        ValueForm form;
        int code;
        const char* display;  // after the setting, if it is taken
    } cases[] = {
        {"2=220.000000", ValueForm::Either, 0, "220.000000"},
        {"3=220 Hz", ValueForm::Text, 0, "220.000000"},
        {"3=220.5", ValueForm::Either, 0, "220.500000"},
        {"3=0.22 kHz", ValueForm::Either, 6, nullptr},
        {"Input gain=0.00", ValueForm::Either, 6, nullptr},
        {"Input gain=0.00", ValueForm::Text, 0, "0.00"},
        {"input gain=0.0 dB", ValueForm::Text, 0, "0.00"},
        {"Input gain=0", ValueForm::Normalised, 0, "-inf"},
        {"Input gain=-INF", ValueForm::Either, 0, "-inf"},
        {"Input gain=-3.5 dB", ValueForm::Either, 0, "-3.50"},
        {"Input gain=12.5", ValueForm::Either, 6, nullptr},
        {"Input gain=loud", ValueForm::Text, 6, nullptr},
        {"Input gain=1.5", ValueForm::Normalised, 6, nullptr},
        {"Input gain=loud", ValueForm::Normalised, 2, nullptr},
        {"Gain=0.5", ValueForm::Either, 6, nullptr},
        {"Gain=0.5", ValueForm::Normalised, 0, "50.0"},
        {"Gain=0.5 %", ValueForm::Either, 0, "0.5"},
        {"Crossover freq=1000", ValueForm::Either, 6, nullptr},
        {"CROSSOVER FREQ=1000", ValueForm::Either, 6, nullptr},
        {"Mode=high", ValueForm::Either, 0, "high"},
    };
    for (const auto& c : cases) {
        std::string message;
        EXPECT_EQ(CodeOf([&] { ApplySetting(*session, c.setting, c.form); }, &message), c.code) << c.setting << ": " << message;
        const VstInt32 index = c.code == 0 ? FindParameter(*session, std::string_view(c.setting).substr(0, std::string_view(c.setting).find('='))) : -1;
        if (c.display) {
            EXPECT_EQ(DescribeParameter(*session, index).display, c.display) << c.setting;
        }
    }
    std::string message;
    CodeOf([&] { ApplySetting(*session, "Crossover freq=1000"); }, &message);
    EXPECT_EQ(message, "parameter name \"Crossover freq\" is ambiguous: parameters 2 and 3 have it; give an index instead");
    CodeOf([&] { ApplySetting(*session, "Input gain=0.00"); }, &message);
    EXPECT_NE(message.find("shows \"0.00 dB\" at normalised 0.857"), std::string::npos) << message;
    // The plug-in's own answer, not the middle of the values that show the text.
    ApplySetting(*session, "Mode=mid");
    EXPECT_EQ(DescribeParameter(*session, 5).value, 0.5f);
    SetFakeMode("");
}

// A reverb whose display text throws for rooms of 30 to 60 m, and fails every
// parameter request after that: the search goes on without that value on a
// fresh instance, the text shown already needs no search, and only a text
// that no value shows is refused. One setter for all, so that each setting
// meets the instance the one before left.
TEST(Parameters, APluginThrowingDuringTheSearchCostsOnlyItsInstance) {
    SKIP_WHERE_EXCEPTIONS_STAY_IN_THEIR_MODULE();
    SetFakeMode("reverb");
    const auto session = Fake();
    const VstInt32 room = FindParameter(*session, "Room size");
    ASSERT_EQ(room, 2);
    const struct {
        const char* setting;
        ValueForm form;
        int code;
        const char* display;  // after the setting, whether taken or not
    } cases[] = {
        {"Room size=20.0 m", ValueForm::Text, 0, "20.0"},
        {"Room size=20", ValueForm::Either, 0, "20.0"},
        {"Room size=75 m", ValueForm::Either, 0, "75.0"},
        {"Room size=45 m", ValueForm::Text, 6, "75.0"},
        {"Room size=12.5", ValueForm::Text, 0, "12.5"},
        {"Room size=vast", ValueForm::Either, 6, "12.5"},
        {"Room size=99.9 m", ValueForm::Text, 0, "99.9"},
        {"Room size=75.0", ValueForm::Text, 0, "75.0"},
        {"Room size=0.125", ValueForm::Normalised, 0, "12.5"},
    };
    ParameterSetter setter(*session);
    for (const auto& c : cases) {
        std::string message;
        EXPECT_EQ(CodeOf([&] { setter.Apply(c.setting, c.form); }, &message), c.code) << c.setting << ": " << message;
        EXPECT_EQ(DescribeParameter(*session, room).display, c.display) << c.setting;
        // The value shown is kept as it is, not moved to the middle of the values showing its text.
        if (std::string_view(c.setting) == "Room size=20.0 m") {
            EXPECT_EQ(DescribeParameter(*session, room).value, 0.2f);
        }
    }
    std::string message;
    CodeOf([&] { setter.Apply("Room size=45 m", ValueForm::Text); }, &message);
    EXPECT_NE(message.find("never shows \"45 m\" (it shows \"0.0\" to \"100.0\"); the plug-in threw for "),
              std::string::npos)
        << message;
    SetFakeMode("");
}

// What reaches the instance that renders: one value per setting, never a
// sweep, and no request for a display text, which can be what throws.
int setParameterCalls = 0;
int textRequests = 0;
AEffectSetParameterProc realSetParameter = nullptr;
AEffectDispatcherProc realDispatcher = nullptr;
void VSTCALLBACK CountingSetParameter(AEffect* effect, VstInt32 index, float value) {
    ++setParameterCalls;
    realSetParameter(effect, index, value);
}
VstIntPtr VSTCALLBACK CountingDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                         float opt) {
    if (opcode == effGetParamDisplay || opcode == effString2Parameter) ++textRequests;
    return realDispatcher(effect, opcode, index, value, ptr, opt);
}

TEST(Parameters, LookUpsLeaveTheRenderingInstanceAlone) {
    SKIP_WHERE_EXCEPTIONS_STAY_IN_THEIR_MODULE();
    SetFakeMode("multiband,reverb");
    const struct {
        std::unique_ptr<HostSession> session;
        std::vector<const char*> settings;
    } plugins[] = {
        {Patcher(), {"routed to channel 1=input channel 4", "1=0.25", "1=none"}},
        {Fake(), {"Gain=25.0 %", "Input gain=-6", "3=220", "Mode=high", "Room size=75 m", "Room size=75.0 m"}},
    };
    for (const auto& plugin : plugins) {
        AEffect* effect = plugin.session->Effect();
        realSetParameter = effect->setParameter;
        realDispatcher = effect->dispatcher;
        effect->setParameter = CountingSetParameter;
        effect->dispatcher = CountingDispatcher;
        setParameterCalls = textRequests = 0;
        ParameterSetter setter(*plugin.session);
        for (const char* setting : plugin.settings) setter.Apply(setting);
        EXPECT_EQ(setParameterCalls, static_cast<int>(plugin.settings.size()));
        EXPECT_EQ(textRequests, 0);
        effect->setParameter = realSetParameter;
        effect->dispatcher = realDispatcher;
    }
    EXPECT_EQ(DescribeParameter(*plugins[0].session, 0).display, "input channel 4");
    EXPECT_EQ(DescribeParameter(*plugins[1].session, 4).display, "-6.00");
    EXPECT_EQ(DescribeParameter(*plugins[1].session, 6).display, "75.0");
    SetFakeMode("");
}

TEST(Parameters, ContinuousDisplayWithLabelOnAnotherPlugin) {
    const auto session = Fake();
    ApplySetting(*session, "gain=25.0 %");
    EXPECT_FLOAT_EQ(DescribeParameter(*session, 0).value, 0.25f);
    ApplySetting(*session, "Gain=75.0");
    EXPECT_FLOAT_EQ(DescribeParameter(*session, 0).value, 0.75f);
}

FxPreset SamplePreset() {
    FxPreset preset;
    preset.fxId = 0x41424344;
    preset.fxVersion = 1000;
    preset.numParams = 2;
    preset.name = "a name that is longer than the field allows";
    preset.chunk = {1, 2, 3, 4, 5};
    return preset;
}

VstInt32 BigEndianAt(const std::vector<unsigned char>& bytes, std::size_t at) {
    return static_cast<VstInt32>(std::uint32_t(bytes[at]) << 24 | std::uint32_t(bytes[at + 1]) << 16 |
                                 std::uint32_t(bytes[at + 2]) << 8 | bytes[at + 3]);
}

TEST(FxPresetFormat, ProgramChunkHeaderLayout) {
    const std::vector<unsigned char> bytes = WritePreset(SamplePreset());
    ASSERT_EQ(bytes.size(), 60u + 5u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "CcnK");
    EXPECT_EQ(BigEndianAt(bytes, 4), static_cast<VstInt32>(bytes.size() - 8));
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "FPCh");
    EXPECT_EQ(BigEndianAt(bytes, 12), 1);
    EXPECT_EQ(std::string(bytes.begin() + 16, bytes.begin() + 20), "ABCD");
    EXPECT_EQ(BigEndianAt(bytes, 20), 1000);
    EXPECT_EQ(BigEndianAt(bytes, 24), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[28])), "a name that is longer than ");
    EXPECT_EQ(bytes[55], 0);
    EXPECT_EQ(BigEndianAt(bytes, 56), 5);
    EXPECT_EQ(bytes[60], 1);
    EXPECT_EQ(bytes[64], 5);
}

TEST(FxPresetFormat, RoundTripsEveryKind) {
    FxPreset program = SamplePreset();
    program.name = "short";
    FxPreset values = program;
    values.opaque = false;
    values.chunk.clear();
    values.params = {0.0f, 0.25f, 1.0f};
    values.numParams = 3;
    FxPreset chunkBank = program;
    chunkBank.bank = true;
    chunkBank.formatVersion = 2;
    chunkBank.name.clear();
    chunkBank.numParams = 0;
    FxPreset valueBank = chunkBank;
    valueBank.opaque = false;
    valueBank.chunk.clear();
    valueBank.programs = {values, values};
    valueBank.programs[1].name = "second";
    valueBank.currentProgram = 1;
    for (const FxPreset& preset : {program, values, chunkBank, valueBank}) {
        const FxPreset read = ReadPreset(WritePreset(preset));
        EXPECT_EQ(read.bank, preset.bank);
        EXPECT_EQ(read.opaque, preset.opaque);
        EXPECT_EQ(read.fxId, preset.fxId);
        EXPECT_EQ(read.fxVersion, preset.fxVersion);
        EXPECT_EQ(read.name, preset.name);
        EXPECT_EQ(read.chunk, preset.chunk);
        EXPECT_EQ(read.params, preset.params);
        EXPECT_EQ(read.currentProgram, preset.currentProgram);
        ASSERT_EQ(read.programs.size(), preset.programs.size());
        for (std::size_t p = 0; p < read.programs.size(); ++p) {
            EXPECT_EQ(read.programs[p].name, preset.programs[p].name);
            EXPECT_EQ(read.programs[p].params, preset.programs[p].params);
        }
    }
    // Parameter values are big-endian IEEE floats after the 56-byte header.
    const std::vector<unsigned char> bytes = WritePreset(values);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "FxCk");
    EXPECT_EQ(BigEndianAt(bytes, 56 + 8), std::bit_cast<VstInt32>(1.0f));
}

TEST(FxPresetFormat, TrustsNoLengthButTheFileSize) {
    FxPreset bank = SamplePreset();
    bank.bank = true;
    bank.opaque = false;
    bank.programs = {SamplePreset(), SamplePreset()};
    for (FxPreset& program : bank.programs) program.opaque = false, program.params = {0.5f, 0.5f};
    for (const FxPreset& preset : {SamplePreset(), bank}) {
        std::vector<unsigned char> bytes = WritePreset(preset);
        // The byte-size field is ignored, whatever it says.
        bytes[4] = bytes[5] = bytes[6] = bytes[7] = 0xFF;
        EXPECT_NO_THROW(ReadPreset(bytes));
        for (std::size_t size = 0; size < bytes.size(); ++size)
            EXPECT_EQ(CodeOf([&] { ReadPreset(std::span(bytes.data(), size)); }), int(ExitCode::Preset)) << size;
    }
    auto corrupt = [](std::size_t at, VstInt32 value) {
        std::vector<unsigned char> bytes = WritePreset(SamplePreset());
        for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(std::uint32_t(value) >> (24 - 8 * i));
        std::string message;
        const int code = CodeOf([&] { ReadPreset(bytes); }, &message);
        return std::to_string(code) + " " + message;
    };
    EXPECT_EQ(corrupt(56, 6), "5 corrupt preset: the chunk size is 6 but only 5 bytes follow");
    EXPECT_EQ(corrupt(56, -1), "5 corrupt preset: the chunk size is negative (-1)");
    EXPECT_EQ(corrupt(56, 0x7FFFFFFF).substr(0, 2), "5 ");
    EXPECT_EQ(corrupt(0, 0x43636E6C), "5 not a VST 2 preset: it does not start with 'CcnK'");
    EXPECT_EQ(corrupt(8, 0x78787878), "5 corrupt preset: unknown preset type 'xxxx'");

    std::vector<unsigned char> huge = WritePreset(bank);
    huge[24] = 0x7F;  // program count
    EXPECT_EQ(CodeOf([&] { ReadPreset(huge); }), int(ExitCode::Preset));
}

TEST_F(ScratchDir, StateTravelsThroughFxpFiles) {
    const std::string path = (dir / "routing.fxp").string();
    {
        const auto session = Patcher();
        ApplySetting(*session, "0=input channel 7");
        ApplySetting(*session, "1=none");
        const FxPreset preset = CapturePreset(*session, false);
        EXPECT_TRUE(preset.opaque);
        ASSERT_EQ(preset.chunk.size(), 260u);
        float marker;
        std::memcpy(&marker, preset.chunk.data(), 4);
        EXPECT_EQ(marker, -1000.0f);
        WritePresetFile(path, preset);
    }
    const auto session = Patcher();
    ApplyPreset(*session, ReadPresetFile(path), path);
    EXPECT_EQ(DescribeParameter(*session, 0).display, "input channel 7");
    EXPECT_EQ(DescribeParameter(*session, 1).display, "none");
    EXPECT_EQ(Files(), std::vector<std::string>{"routing.fxp"});

    // A bank of our plug-in carries the same state.
    ApplySetting(*session, "0=input channel 2");
    const FxPreset bank = ReadPreset(WritePreset(CapturePreset(*session, true)));
    ApplySetting(*session, "0=input channel 3");
    ApplyPreset(*session, bank, "bank");
    EXPECT_EQ(DescribeParameter(*session, 0).display, "input channel 2");
}

TEST(FxPresetPlugins, PresetOfAnotherPluginChangesNothing) {
    const auto fake = Fake();
    const auto patcher = Patcher();
    ApplySetting(*patcher, "0=input channel 5");
    const FxPreset fakePreset = CapturePreset(*fake, false);
    EXPECT_FALSE(fakePreset.opaque);
    std::string message;
    EXPECT_EQ(CodeOf([&] { ApplyPreset(*patcher, fakePreset, "fake.fxp"); }, &message), int(ExitCode::Preset));
    EXPECT_EQ(message, "fake.fxp is a preset for another plug-in: its ID is 'HsTf', this plug-in's is 0");
    EXPECT_EQ(DescribeParameter(*patcher, 0).display, "input channel 5");
    // Parameter values with a matching ID are taken; a chunk by a plug-in without chunks is not.
    FxPreset values = fakePreset;
    values.fxId = 0;
    EXPECT_EQ(CodeOf([&] { ApplyPreset(*patcher, values, "x"); }), 0);
    FxPreset chunk = CapturePreset(*patcher, false);
    chunk.fxId = fake->UniqueId();
    EXPECT_EQ(CodeOf([&] { ApplyPreset(*fake, chunk, "x"); }), int(ExitCode::Preset));
}

TEST(FxPresetPlugins, ParameterProgramsAndBanks) {
    const auto session = Fake();
    ApplySetting(*session, "Gain=0.125");
    const FxPreset program = ReadPreset(WritePreset(CapturePreset(*session, false)));
    EXPECT_EQ(program.name, "First");
    EXPECT_EQ(program.params[0], 0.125f);
    ApplySetting(*session, "Gain=50.0");
    ApplyPreset(*session, program, "x");
    EXPECT_EQ(DescribeParameter(*session, 0).value, 0.125f);

    session->Dispatch(effSetProgram, 0, 1);
    ApplySetting(*session, "Gain=0.875");
    const FxPreset bank = ReadPreset(WritePreset(CapturePreset(*session, true)));
    ASSERT_EQ(bank.programs.size(), 2u);
    EXPECT_EQ(bank.currentProgram, 1);
    EXPECT_EQ(bank.programs[0].params[0], 0.125f);
    EXPECT_EQ(bank.programs[1].params[0], 0.875f);
    EXPECT_EQ(bank.programs[1].name, "Second");

    const auto fresh = Fake();
    ApplyPreset(*fresh, bank, "bank");
    EXPECT_EQ(fresh->Dispatch(effGetProgram), 1);
    EXPECT_EQ(DescribeParameter(*fresh, 0).value, 0.875f);
    fresh->Dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(DescribeParameter(*fresh, 0).value, 0.125f);
}

// Channel c, frame j of the test input: distinct and exact in float.
double Marker(int channel, long frame) { return channel * 10000.0 + static_cast<double>(frame) + 0.5; }

TEST(BlockRendering, OutputsCarryTheRoutedInputsSampleBySample) {
    const auto session = Patcher();
    ApplySetting(*session, "routed to channel 1=input channel 4");
    ApplySetting(*session, "routed to channel 2=input channel 11");
    const long frames = 1000;
    for (bool doublePrecision : {false, true}) {
        for (int inChannels : {16, 6}) {
            std::vector<double> in(static_cast<std::size_t>(frames * inChannels));
            for (long j = 0; j < frames; ++j)
                for (int c = 0; c < inChannels; ++c) in[static_cast<std::size_t>(j * inChannels + c)] = Marker(c, j);
            std::vector<double> out(static_cast<std::size_t>(frames * 16), -7.0);
            BlockRenderer renderer(*session, 48000.0, 128, doublePrecision);
            renderer.Process(in.data(), inChannels, out.data(), 16, frames);
            for (long j = 0; j < frames; ++j) {
                const double* frame = &out[static_cast<std::size_t>(j * 16)];
                ASSERT_EQ(frame[0], Marker(3, j)) << j;
                // Missing input channels are silence.
                ASSERT_EQ(frame[1], inChannels > 10 ? Marker(10, j) : 0.0) << j;
                for (int c = 2; c < 16; ++c) ASSERT_EQ(frame[c], 0.0) << c;
            }
            EXPECT_EQ(session->Time().samplePos, frames);
            EXPECT_EQ(session->SampleRate(), 48000.0);
        }
    }
    BlockRenderer renderer(*session, 48000.0, 64, false);
    std::vector<double> in(17), out(16);
    EXPECT_THROW(renderer.Process(in.data(), 17, out.data(), 16, 1), std::invalid_argument);
}

TEST(BlockRendering, TimeInfoFollowsTheRender) {
    const auto session = Fake();
    session->SetTempo(90.0);
    ApplySetting(*session, "Gain=50.0");
    BlockRenderer renderer(*session, 44100.0, 100, false);
    const long frames = 250;
    std::vector<double> in(static_cast<std::size_t>(frames * 2), 1.0), out(static_cast<std::size_t>(frames * 2));
    renderer.Process(in.data(), 2, out.data(), 2, frames);
    for (long j = 0; j < frames; ++j) {
        ASSERT_EQ(out[static_cast<std::size_t>(2 * j)], 0.5) << j;
        ASSERT_EQ(out[static_cast<std::size_t>(2 * j + 1)], static_cast<double>(j)) << j;
    }
    EXPECT_EQ(DescribeParameter(*session, 1).display, "90");
    const VstTimeInfo& time = session->Time();
    EXPECT_EQ(time.samplePos, 250.0);
    EXPECT_DOUBLE_EQ(time.ppqPos, 200.0 / 44100.0 * 1.5);
    EXPECT_EQ(time.flags & (kVstTransportPlaying | kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid),
              kVstTransportPlaying | kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid);
}

// A plug-in that reports its delay only after a first block, as look-ahead
// limiters do: the output lines up with the input at any block size, or
// comes as it is; the tail is silence fed after the input.
TEST(BlockRendering, StreamsCompensateTheDelayAndFeedTheTail) {
    SetFakeMode("delay");
    constexpr long kFrames = 1000, kDelay = 100;
    const struct {
        bool compensate;
        VstInt32 block;
        long long tail;
    } cases[] = {{true, 64, 0}, {true, 100, 0}, {true, 512, 250}, {true, 4096, 0}, {false, 64, 0}, {false, 512, 250}};
    for (const auto& c : cases) {
        const auto session = Fake();
        BlockRenderer renderer(*session, 48000.0, c.block, false);
        long read = 0;
        std::vector<double> out;
        const FrameSource frames{[&](double* buffer, long count) {
                                     const long n = std::min(count, kFrames - read);
                                     for (long j = 0; j < n; ++j) buffer[2 * j] = Marker(0, read + j), buffer[2 * j + 1] = 0.0;
                                     read += n;
                                     return n;
                                 },
                                 [&](const double* buffer, long count) { out.insert(out.end(), buffer, buffer + 2 * count); }};
        EXPECT_EQ(renderer.Stream(2, 2, frames, {c.compensate, c.tail}), kFrames + c.tail);
        ASSERT_EQ(out.size(), static_cast<std::size_t>(2 * (kFrames + c.tail)));
        for (long j = 0; j < kFrames + c.tail; ++j) {
            const long source = c.compensate ? j : j - kDelay;
            ASSERT_EQ(out[static_cast<std::size_t>(2 * j)], source >= 0 && source < kFrames ? Marker(0, source) / 2 : 0.0)
                << "block " << c.block << ", frame " << j;
        }
    }
    const auto session = Fake();
    const PluginInfo info = DescribePlugin(*session);
    EXPECT_EQ(info.initialDelay, 0);
    EXPECT_EQ(info.delayAfterBlock, kDelay);
    SetFakeMode("");
}

TEST(Tones, EachChannelIsToldApart) {
    const int channels = 17;
    std::vector<double> samples = MakeTones(16, 48000.0, 48000);
    samples.resize(static_cast<std::size_t>(48000 * channels));
    // Widen to 17 channels: the last one silent, channel 16 a mix of two tones.
    for (long j = 48000 - 1; j >= 0; --j) {
        for (int c = 15; c >= 0; --c)
            samples[static_cast<std::size_t>(j * channels + c)] = samples[static_cast<std::size_t>(j * 16 + c)];
        samples[static_cast<std::size_t>(j * channels + 16)] = 0.0;
    }
    for (long j = 0; j < 48000; ++j)
        samples[static_cast<std::size_t>(j * channels + 15)] += samples[static_cast<std::size_t>(j * channels)];
    for (int c = 0; c < 15; ++c) {
        const ChannelContent content = IdentifyChannel(samples.data(), 48000, channels, c, 16, 48000.0);
        EXPECT_EQ(content.kind, ChannelContent::Tone);
        EXPECT_EQ(content.tone, c + 1);
        EXPECT_NEAR(content.level, kToneAmplitude, 1e-3);
    }
    EXPECT_EQ(IdentifyChannel(samples.data(), 48000, channels, 15, 16, 48000.0).kind, ChannelContent::Unrecognised);
    EXPECT_EQ(IdentifyChannel(samples.data(), 48000, channels, 16, 16, 48000.0).kind, ChannelContent::Silent);
}

TEST_F(ScratchDir, OutputFilesAppearWholeOrNotAtAll) {
    const fs::path target = dir / "out.bin";
    std::ofstream(target) << "previous";
    {
        PendingFile pending(target);
        std::ofstream(pending.TempPath()) << "half";
        EXPECT_EQ(Files().size(), 2u);
    }
    EXPECT_EQ(Files(), std::vector<std::string>{"out.bin"});
    const std::vector<unsigned char> bytes{'n', 'e', 'w'};
    WriteWholeFile(target, bytes);
    EXPECT_EQ(ReadWholeFile(target), bytes);
    EXPECT_EQ(CodeOf([&] { WriteWholeFile(dir / "missing" / "x.fxp", bytes); }), int(ExitCode::File));
    EXPECT_EQ(CodeOf([&] { ReadWholeFile(dir / "missing.fxp"); }), int(ExitCode::File));
    EXPECT_EQ(CodeOf([&] { ReadWholeFile(dir); }), int(ExitCode::File));
    EXPECT_EQ(Files(), std::vector<std::string>{"out.bin"});
}

#if !defined(_WIN32)
// Names up to the longest the file system takes, in ASCII and in UTF-8; a
// link is written through; a target that is no regular file, in place.
TEST_F(ScratchDir, OutputsTakeAnyNameAndKeepWhatTheTargetIs) {
    const std::vector<unsigned char> bytes{'f', 'x'};
    std::string utf8;
    while (utf8.size() < 254) utf8 += "\xc3\xa9";
    const std::vector<std::string> names{std::string(237, 'a'), std::string(238, 'b'), std::string(255, 'c'), utf8};
    for (const std::string& name : names) {
        EXPECT_EQ(CodeOf([&] { WriteWholeFile(dir / name, bytes); }), 0) << name.size();
        EXPECT_EQ(ReadWholeFile(dir / name), bytes);
    }
    EXPECT_EQ(Files().size(), names.size());
    const std::string temp = TemporaryName(dir / utf8, 255, 0xabcdef01).filename().string();
    EXPECT_EQ(temp, "." + utf8.substr(0, 236) + ".partial-abcdef01");

    fs::create_symlink("real.fxp", dir / "link.fxp");
    WriteWholeFile(dir / "link.fxp", bytes);
    EXPECT_TRUE(fs::is_symlink(dir / "link.fxp"));
    EXPECT_EQ(ReadWholeFile(dir / "real.fxp"), bytes);

    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    WriteWholeFile(fifo, bytes);
    unsigned char received[8] = {};
    EXPECT_EQ(read(reader, received, sizeof received), 2);
    close(reader);
    EXPECT_EQ(received[1], 'x');
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}
#endif

TEST(PluginInfo, DescribesOurPluginAsValidJson) {
    const auto session = Patcher();
    const PluginInfo info = DescribePlugin(*session);
    EXPECT_EQ(info.programChunkSize, 260u);
    EXPECT_EQ(info.delayAfterBlock, 0);
    EXPECT_EQ(FlagNames(info.flags), (std::vector<std::string>{"canReplacing", "programChunks", "canDoubleReplacing"}));
    const std::string json = FormatInfoJson(info);
    EXPECT_NE(json.find(R"({"index": 1, "name": "routed to channel 2", "label": "", "value": 0.0625, "display": "input channel 2"})"),
              std::string::npos)
        << json;
    EXPECT_NE(FormatInfoText(info).find(R"(0  "routed to channel 1" = "input channel 1")"), std::string::npos);
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), R"("a\"b\\c\u000a\u0001")");
    EXPECT_EQ(JsonString("caf\xc3\xa9 \xb0"), "\"caf\xc3\xa9 \\u00b0\"");
    EXPECT_EQ(FlagNames(0x10000 | effFlagsIsSynth), (std::vector<std::string>{"isSynth", "other 0x10000"}));
}

}  // namespace
