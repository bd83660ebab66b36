#include <gtest/gtest.h>

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "aeffeditor.h"
#include "audio_effect_x.h"

namespace {

using Ops = std::vector<std::string>;

// What the effect and its editor were asked to do, in order.
Ops gOps;
bool gProbeDestroyed = false;
bool gEditorDestroyed = false;

struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    std::size_t opsBefore;  // how much of gOps had happened when the host was called
};
std::vector<HostCall> gHostCalls;
VstIntPtr gHostAnswer = 0;

VstIntPtr VSTCALLBACK recordHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt) {
    gHostCalls.push_back({effect, opcode, index, value, ptr, opt, gOps.size()});
    return gHostAnswer;
}

// Two recognisable addresses, shown as P and Q in gOps.
char gP[64];
char gQ[64];
void* const P = gP;
const VstIntPtr Qv = reinterpret_cast<VstIntPtr>(gQ);

std::string describe(bool b) { return b ? "true" : "false"; }
template <std::integral T>
std::string describe(T v) {
    return std::to_string(static_cast<long long>(v));
}
std::string describe(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}
std::string describe(const void* p) { return p == gP ? "P" : p == gQ ? "Q" : p ? "?" : "null"; }
std::string describe(const char* text) {
    if (!text || text == gP || text == gQ) return describe(static_cast<const void*>(text));
    return '"' + std::string(text) + '"';
}

template <class... Args>
void note(const std::string& name, Args... args) {
    std::string call = name + "(";
    std::string sep;
    ((call += sep + describe(args), sep = ","), ...);
    gOps.push_back(call + ")");
}

// Keeps every default of the layer.
class Bare : public AudioEffectX {
public:
    using AudioEffectX::AudioEffectX;
    void processReplacing(float**, float**, VstInt32) override {}
};

// Records every operation the dispatcher and the record's entries reach; each answers `answer`.
class Probe : public AudioEffectX {
public:
    explicit Probe(audioMasterCallback host = recordHost) : AudioEffectX(host, 8, 4) {}
    ~Probe() override { gProbeDestroyed = true; }

    VstIntPtr answer = 0;

    void open() override { note("open"); }
    void close() override { note("close"); }
    void suspend() override { note("suspend"); }
    void resume() override {
        note("resume");
        AudioEffectX::resume();
    }
    void setSampleRate(float rate) override { note("setSampleRate", rate); }
    void setBlockSize(VstInt32 size) override { note("setBlockSize", size); }
    void process(float** in, float** out, VstInt32 n) override { note("process", in, out, n); }
    void processReplacing(float** in, float** out, VstInt32 n) override { note("processReplacing", in, out, n); }
    void processDoubleReplacing(double** in, double** out, VstInt32 n) override {
        note("processDoubleReplacing", in, out, n);
    }
    void setParameter(VstInt32 i, float v) override { note("setParameter", i, v); }
    float getParameter(VstInt32 i) override { return note("getParameter", i), reply<float>(); }
    VstInt32 getProgram() override { return note("getProgram"), reply<VstInt32>(); }
    void setProgram(VstInt32 p) override { note("setProgram", p); }
    void setProgramName(char* t) override { note("setProgramName", t); }
    void getProgramName(char* t) override { note("getProgramName", t); }
    void getParameterLabel(VstInt32 i, char* t) override { note("getParameterLabel", i, t); }
    void getParameterDisplay(VstInt32 i, char* t) override { note("getParameterDisplay", i, t); }
    void getParameterName(VstInt32 i, char* t) override { note("getParameterName", i, t); }
    VstInt32 getChunk(void** d, bool preset) override { return note("getChunk", d, preset), reply<VstInt32>(); }
    VstInt32 setChunk(void* d, VstInt32 n, bool preset) override {
        return note("setChunk", d, n, preset), reply<VstInt32>();
    }
    VstInt32 processEvents(VstEvents* e) override { return note("processEvents", e), reply<VstInt32>(); }
    bool canParameterBeAutomated(VstInt32 i) override { return note("canParameterBeAutomated", i), reply<bool>(); }
    bool string2parameter(VstInt32 i, char* t) override { return note("string2parameter", i, t), reply<bool>(); }
    bool getProgramNameIndexed(VstInt32 c, VstInt32 i, char* t) override {
        return note("getProgramNameIndexed", c, i, t), reply<bool>();
    }
    bool getInputProperties(VstInt32 i, VstPinProperties* p) override {
        return note("getInputProperties", i, p), reply<bool>();
    }
    bool getOutputProperties(VstInt32 i, VstPinProperties* p) override {
        return note("getOutputProperties", i, p), reply<bool>();
    }
    VstPlugCategory getPlugCategory() override { return note("getPlugCategory"), reply<VstPlugCategory>(); }
    bool offlineNotify(VstAudioFile* f, VstInt32 n, bool start) override {
        return note("offlineNotify", f, n, start), reply<bool>();
    }
    bool offlinePrepare(VstOfflineTask* t, VstInt32 n) override { return note("offlinePrepare", t, n), reply<bool>(); }
    bool offlineRun(VstOfflineTask* t, VstInt32 n) override { return note("offlineRun", t, n), reply<bool>(); }
    bool processVariableIo(VstVariableIo* v) override { return note("processVariableIo", v), reply<bool>(); }
    bool setSpeakerArrangement(VstSpeakerArrangement* in, VstSpeakerArrangement* out) override {
        return note("setSpeakerArrangement", in, out), reply<bool>();
    }
    bool getSpeakerArrangement(VstSpeakerArrangement** in, VstSpeakerArrangement** out) override {
        return note("getSpeakerArrangement", in, out), reply<bool>();
    }
    bool setBypass(bool on) override { return note("setBypass", on), reply<bool>(); }
    bool getEffectName(char* t) override { return note("getEffectName", t), reply<bool>(); }
    bool getVendorString(char* t) override { return note("getVendorString", t), reply<bool>(); }
    bool getProductString(char* t) override { return note("getProductString", t), reply<bool>(); }
    VstInt32 getVendorVersion() override { return note("getVendorVersion"), reply<VstInt32>(); }
    VstIntPtr vendorSpecific(VstInt32 a, VstIntPtr b, void* p, float f) override {
        return note("vendorSpecific", a, b, p, f), reply<VstIntPtr>();
    }
    VstInt32 canDo(char* t) override { return note("canDo", t), reply<VstInt32>(); }
    VstInt32 getGetTailSize() override { return note("getGetTailSize"), reply<VstInt32>(); }
    bool getParameterProperties(VstInt32 i, VstParameterProperties* p) override {
        return note("getParameterProperties", i, p), reply<bool>();
    }
    VstInt32 getVstVersion() override { return note("getVstVersion"), reply<VstInt32>(); }
    VstInt32 getMidiProgramName(VstInt32 c, MidiProgramName* n) override {
        return note("getMidiProgramName", c, n), reply<VstInt32>();
    }
    VstInt32 getCurrentMidiProgram(VstInt32 c, MidiProgramName* n) override {
        return note("getCurrentMidiProgram", c, n), reply<VstInt32>();
    }
    VstInt32 getMidiProgramCategory(VstInt32 c, MidiProgramCategory* n) override {
        return note("getMidiProgramCategory", c, n), reply<VstInt32>();
    }
    bool hasMidiProgramsChanged(VstInt32 c) override { return note("hasMidiProgramsChanged", c), reply<bool>(); }
    bool getMidiKeyName(VstInt32 c, MidiKeyName* n) override { return note("getMidiKeyName", c, n), reply<bool>(); }
    bool beginSetProgram() override { return note("beginSetProgram"), reply<bool>(); }
    bool endSetProgram() override { return note("endSetProgram"), reply<bool>(); }
    VstInt32 getNextShellPlugin(char* t) override { return note("getNextShellPlugin", t), reply<VstInt32>(); }
    VstInt32 startProcess() override { return note("startProcess"), reply<VstInt32>(); }
    VstInt32 stopProcess() override { return note("stopProcess"), reply<VstInt32>(); }
    VstInt32 setTotalSampleToProcess(VstInt32 v) override {
        return note("setTotalSampleToProcess", v), reply<VstInt32>();
    }
    bool setPanLaw(VstInt32 type, float v) override { return note("setPanLaw", type, v), reply<bool>(); }
    VstInt32 beginLoadBank(VstPatchChunkInfo* i) override { return note("beginLoadBank", i), reply<VstInt32>(); }
    VstInt32 beginLoadProgram(VstPatchChunkInfo* i) override { return note("beginLoadProgram", i), reply<VstInt32>(); }
    bool setProcessPrecision(VstInt32 p) override { return note("setProcessPrecision", p), reply<bool>(); }
    VstInt32 getNumMidiInputChannels() override { return note("getNumMidiInputChannels"), reply<VstInt32>(); }
    VstInt32 getNumMidiOutputChannels() override { return note("getNumMidiOutputChannels"), reply<VstInt32>(); }

private:
    template <class T>
    T reply() const {
        return static_cast<T>(answer);
    }
};

class TestEditor : public AEffEditor {
public:
    bool answer = true;
    ~TestEditor() override { gEditorDestroyed = true; }
    bool getRect(ERect** rect) override { return note("editor.getRect", rect), answer; }
    bool open(void* parent) override { return note("editor.open", parent), answer; }
    void close() override { note("editor.close"); }
    void idle() override { note("editor.idle"); }
    bool onKeyDown(VstKeyCode& k) override { return note("editor.keyDown", k.character, k.virt, k.modifier), answer; }
    bool onKeyUp(VstKeyCode& k) override { return note("editor.keyUp", k.character, k.virt, k.modifier), answer; }
    bool setKnobMode(VstInt32 mode) override { return note("editor.knobMode", mode), answer; }
};

VstIntPtr dispatch(AudioEffect& fx, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                   float opt = 0.0f) {
    AEffect* e = fx.getAeffect();
    return e->dispatcher(e, opcode, index, value, ptr, opt);
}

class Protocol : public ::testing::Test {
protected:
    void SetUp() override {
        gOps.clear();
        gHostCalls.clear();
        gHostAnswer = 0;
        gProbeDestroyed = false;
        gEditorDestroyed = false;
    }
};
class EffectRecord : public Protocol {};
class Dispatch : public Protocol {};
class Editor : public Protocol {};
class Resume : public Protocol {};
class HostCalls : public Protocol {};
class StaticEntries : public Protocol {};

TEST_F(EffectRecord, FilledByConstructor) {
    Bare fx(recordHost, 3, 5);
    const AEffect& e = *fx.getAeffect();

    EXPECT_EQ(e.magic, 0x56737450);
    EXPECT_EQ(e.dispatcher, &AudioEffect::dispatchEffectClass);
    EXPECT_EQ(e.process, &AudioEffect::processClass);
    EXPECT_EQ(e.setParameter, &AudioEffect::setParameterClass);
    EXPECT_EQ(e.getParameter, &AudioEffect::getParameterClass);
    EXPECT_EQ(e.processReplacing, &AudioEffect::processClassReplacing);
    EXPECT_EQ(e.processDoubleReplacing, &AudioEffect::processClassDoubleReplacing);
    EXPECT_EQ(e.numPrograms, 3);
    EXPECT_EQ(e.numParams, 5);
    EXPECT_EQ(e.numInputs, 1);
    EXPECT_EQ(e.numOutputs, 2);
    EXPECT_EQ(e.flags, 0x10);
    EXPECT_EQ(e.resvd1, 0);
    EXPECT_EQ(e.resvd2, 0);
    EXPECT_EQ(e.initialDelay, 0);
    EXPECT_EQ(e.realQualities, 0);
    EXPECT_EQ(e.offQualities, 0);
    EXPECT_EQ(e.ioRatio, 1.0f);
    EXPECT_EQ(e.object, static_cast<AudioEffect*>(&fx));
    EXPECT_EQ(e.user, nullptr);
    EXPECT_EQ(e.uniqueID, 0x4E6F4566);
    EXPECT_EQ(e.version, 1);
    EXPECT_TRUE(std::all_of(std::begin(e.future), std::end(e.future), [](char c) { return c == 0; }));

    const auto* self = reinterpret_cast<const char*>(&fx);
    const auto* record = reinterpret_cast<const char*>(&e);
    EXPECT_TRUE(record > self && record + sizeof(AEffect) <= self + sizeof(fx)) << "record is not embedded";

    EXPECT_EQ(fx.getSampleRate(), 44100.0f);
    EXPECT_EQ(fx.getBlockSize(), 1024);
    EXPECT_EQ(fx.getEditor(), nullptr);
    EXPECT_TRUE(gHostCalls.empty());
}

TEST_F(EffectRecord, FlagSettersAndSampleRateAndBlockSize) {
    const std::vector<std::pair<std::function<void(Bare&, bool)>, VstInt32>> flagSetters{
        {[](Bare& fx, bool on) { fx.hasClip(on); }, 0x2},
        {[](Bare& fx, bool on) { fx.hasVu(on); }, 0x4},
        {[](Bare& fx, bool on) { fx.canMono(on); }, 0x8},
        {[](Bare& fx, bool on) { fx.canProcessReplacing(on); }, 0x10},
        {[](Bare& fx, bool on) { fx.programsAreChunks(on); }, 0x20},
        {[](Bare& fx, bool on) { fx.isSynth(on); }, 0x100},
        {[](Bare& fx, bool on) { fx.noTail(on); }, 0x200},
        {[](Bare& fx, bool on) { fx.setExtIsAsync(on); }, 0x400},
        {[](Bare& fx, bool on) { fx.setExtHasBuffer(on); }, 0x800},
        {[](Bare& fx, bool on) { fx.canDoubleReplacing(on); }, 0x1000},
    };
    for (const auto& [set, bit] : flagSetters) {
        SCOPED_TRACE(bit);
        Bare fx(recordHost, 1, 1);
        set(fx, true);
        EXPECT_EQ(fx.getAeffect()->flags, 0x10 | bit);
        set(fx, false);
        EXPECT_EQ(fx.getAeffect()->flags, 0x10 & ~bit);
    }

    Bare fx(recordHost, 1, 1);
    fx.setBlockSizeAndSampleRate(256, 96000.0f);
    EXPECT_EQ(fx.getBlockSize(), 256);
    EXPECT_EQ(fx.getSampleRate(), 96000.0f);
    EXPECT_EQ(dispatch(fx, effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(dispatch(fx, effSetBlockSize, 0, 512), 0);
    EXPECT_EQ(fx.getSampleRate(), 48000.0f);
    EXPECT_EQ(fx.getBlockSize(), 512);
}

enum class Reply { Zero, Bool, Own };

struct DispatchCase {
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    const char* call;
    Reply reply;
};

TEST_F(Dispatch, OpcodesReachTheirOperations) {
    using enum Reply;
    const std::vector<DispatchCase> cases{
        {effOpen, 3, 5, P, 0.25f, "open()", Zero},
        {effSetProgram, 3, 5, P, 0.25f, "setProgram(5)", Zero},
        {effGetProgram, 3, 5, P, 0.25f, "getProgram()", Own},
        {effSetProgramName, 3, 5, P, 0.25f, "setProgramName(P)", Zero},
        {effGetProgramName, 3, 5, P, 0.25f, "getProgramName(P)", Zero},
        {effGetParamLabel, 3, 5, P, 0.25f, "getParameterLabel(3,P)", Zero},
        {effGetParamDisplay, 3, 5, P, 0.25f, "getParameterDisplay(3,P)", Zero},
        {effGetParamName, 3, 5, P, 0.25f, "getParameterName(3,P)", Zero},
        {effSetSampleRate, 3, 5, P, 0.25f, "setSampleRate(0.25)", Zero},
        {effSetBlockSize, 3, 5, P, 0.25f, "setBlockSize(5)", Zero},
        {effGetChunk, 3, 5, P, 0.25f, "getChunk(P,true)", Own},
        {effGetChunk, 0, 5, P, 0.25f, "getChunk(P,false)", Own},
        {effSetChunk, 3, 5, P, 0.25f, "setChunk(P,5,true)", Own},
        {effSetChunk, 0, 5, P, 0.25f, "setChunk(P,5,false)", Own},
        {effProcessEvents, 3, 5, P, 0.25f, "processEvents(P)", Own},
        {effCanBeAutomated, 3, 5, P, 0.25f, "canParameterBeAutomated(3)", Bool},
        {effString2Parameter, 3, 5, P, 0.25f, "string2parameter(3,P)", Bool},
        {effGetProgramNameIndexed, 3, 5, P, 0.25f, "getProgramNameIndexed(5,3,P)", Bool},
        {effGetInputProperties, 3, 5, P, 0.25f, "getInputProperties(3,P)", Bool},
        {effGetOutputProperties, 3, 5, P, 0.25f, "getOutputProperties(3,P)", Bool},
        {effGetPlugCategory, 3, 5, P, 0.25f, "getPlugCategory()", Own},
        {effOfflineNotify, 3, 5, P, 0.25f, "offlineNotify(P,5,true)", Bool},
        {effOfflineNotify, 0, 5, P, 0.25f, "offlineNotify(P,5,false)", Bool},
        {effOfflinePrepare, 3, 5, P, 0.25f, "offlinePrepare(P,5)", Bool},
        {effOfflineRun, 3, 5, P, 0.25f, "offlineRun(P,5)", Bool},
        {effProcessVarIo, 3, 5, P, 0.25f, "processVariableIo(P)", Bool},
        {effSetSpeakerArrangement, 3, Qv, P, 0.25f, "setSpeakerArrangement(Q,P)", Bool},
        {effSetBypass, 3, 5, P, 0.25f, "setBypass(true)", Bool},
        {effSetBypass, 3, 0, P, 0.25f, "setBypass(false)", Bool},
        {effGetEffectName, 3, 5, P, 0.25f, "getEffectName(P)", Bool},
        {effGetVendorString, 3, 5, P, 0.25f, "getVendorString(P)", Bool},
        {effGetProductString, 3, 5, P, 0.25f, "getProductString(P)", Bool},
        {effGetVendorVersion, 3, 5, P, 0.25f, "getVendorVersion()", Own},
        {effVendorSpecific, 3, 5, P, 0.25f, "vendorSpecific(3,5,P,0.25)", Own},
        {effCanDo, 3, 5, P, 0.25f, "canDo(P)", Own},
        {effGetTailSize, 3, 5, P, 0.25f, "getGetTailSize()", Own},
        {effGetParameterProperties, 3, 5, P, 0.25f, "getParameterProperties(3,P)", Bool},
        {effGetVstVersion, 3, 5, P, 0.25f, "getVstVersion()", Own},
        {effGetMidiProgramName, 3, 5, P, 0.25f, "getMidiProgramName(3,P)", Own},
        {effGetCurrentMidiProgram, 3, 5, P, 0.25f, "getCurrentMidiProgram(3,P)", Own},
        {effGetMidiProgramCategory, 3, 5, P, 0.25f, "getMidiProgramCategory(3,P)", Own},
        {effHasMidiProgramsChanged, 3, 5, P, 0.25f, "hasMidiProgramsChanged(3)", Bool},
        {effGetMidiKeyName, 3, 5, P, 0.25f, "getMidiKeyName(3,P)", Bool},
        {effBeginSetProgram, 3, 5, P, 0.25f, "beginSetProgram()", Bool},
        {effEndSetProgram, 3, 5, P, 0.25f, "endSetProgram()", Bool},
        {effGetSpeakerArrangement, 3, Qv, P, 0.25f, "getSpeakerArrangement(Q,P)", Bool},
        {effShellGetNextPlugin, 3, 5, P, 0.25f, "getNextShellPlugin(P)", Own},
        {effStartProcess, 3, 5, P, 0.25f, "startProcess()", Own},
        {effStopProcess, 3, 5, P, 0.25f, "stopProcess()", Own},
        {effSetTotalSampleToProcess, 3, 5, P, 0.25f, "setTotalSampleToProcess(5)", Own},
        {effSetPanLaw, 3, 5, P, 0.25f, "setPanLaw(5,0.25)", Bool},
        {effBeginLoadBank, 3, 5, P, 0.25f, "beginLoadBank(P)", Own},
        {effBeginLoadProgram, 3, 5, P, 0.25f, "beginLoadProgram(P)", Own},
        {effSetProcessPrecision, 3, 5, P, 0.25f, "setProcessPrecision(5)", Bool},
        {effGetNumMidiInputChannels, 3, 5, P, 0.25f, "getNumMidiInputChannels()", Own},
        {effGetNumMidiOutputChannels, 3, 5, P, 0.25f, "getNumMidiOutputChannels()", Own},
    };
    for (const VstIntPtr answer : {VstIntPtr{0x1130}, VstIntPtr{0}, VstIntPtr{-1}}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.call << " answering " << answer);
            gOps.clear();
            Probe fx;
            fx.answer = answer;
            const VstIntPtr expected = c.reply == Own ? answer : c.reply == Bool ? (answer != 0 ? 1 : 0) : 0;
            EXPECT_EQ(dispatch(fx, c.opcode, c.index, c.value, c.ptr, c.opt), expected);
            EXPECT_EQ(gOps, Ops{c.call});
        }
    }
    EXPECT_TRUE(gHostCalls.empty());
}

TEST_F(Dispatch, UnhandledOpcodesAnswerZero) {
    Probe fx;
    fx.answer = 0x1130;
    for (const VstInt32 opcode : {9, 16, 17, 18, 20, 21, 28, 30, 31, 32, 36, 37, 43, 46, 53, 54, 55, 57, 80, 1000, -1}) {
        SCOPED_TRACE(opcode);
        EXPECT_EQ(dispatch(fx, opcode, 3, 5, P, 0.25f), 0);
    }
    EXPECT_TRUE(gOps.empty());
    EXPECT_TRUE(gHostCalls.empty());
}

TEST_F(Dispatch, DefaultAnswers) {
    struct Case {
        VstInt32 opcode;
        VstInt32 index;
        VstIntPtr value;
        VstIntPtr expected;
    };
    const std::vector<Case> cases{
        {effIdentify, 0, 0, 0x4E764566},
        {effGetVstVersion, 0, 0, 2400},
        {effGetPlugCategory, 0, 0, 0},
        {effCanBeAutomated, 0, 0, 1},
        {effCanBeAutomated, 1, 0, 1},
        {effCanBeAutomated, 999, 0, 1},
        {effCanBeAutomated, -1, 0, 1},
        {effGetCurrentMidiProgram, 0, 0, -1},
        {effSetTotalSampleToProcess, 0, 4096, 4096},
        {effGetProgram, 0, 0, 0},
    };
    Bare fx(recordHost, 1, 2);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "opcode " << c.opcode << " index " << c.index);
        EXPECT_EQ(dispatch(fx, c.opcode, c.index, c.value, P), c.expected);
    }
    for (const VstInt32 opcode :
         {effGetChunk, effSetChunk, effProcessEvents, effString2Parameter, effGetProgramNameIndexed,
          effGetInputProperties, effGetOutputProperties, effOfflineNotify, effOfflinePrepare, effOfflineRun,
          effProcessVarIo, effSetSpeakerArrangement, effSetBypass, effGetEffectName, effGetVendorString,
          effGetProductString, effGetVendorVersion, effVendorSpecific, effCanDo, effGetTailSize,
          effGetParameterProperties, effGetMidiProgramName, effGetMidiProgramCategory, effHasMidiProgramsChanged,
          effGetMidiKeyName, effBeginSetProgram, effEndSetProgram, effShellGetNextPlugin, effStartProcess,
          effStopProcess, effSetPanLaw, effBeginLoadBank, effBeginLoadProgram, effSetProcessPrecision,
          effGetNumMidiInputChannels, effGetNumMidiOutputChannels}) {
        SCOPED_TRACE(opcode);
        EXPECT_EQ(dispatch(fx, opcode, 1, 1, P, 1.0f), 0);
    }
    EXPECT_FLOAT_EQ(fx.getAeffect()->getParameter(fx.getAeffect(), 0), 0.0f);
    EXPECT_TRUE(gHostCalls.empty());

    fx.isSynth();
    EXPECT_EQ(dispatch(fx, effGetPlugCategory), 2);
}

TEST_F(Dispatch, DefaultGettersWriteEmptyTextAndNullArrangements) {
    Bare fx(recordHost, 1, 2);
    for (const VstInt32 opcode : {effGetProgramName, effGetParamLabel, effGetParamDisplay, effGetParamName}) {
        SCOPED_TRACE(opcode);
        char text[32] = "stale";
        EXPECT_EQ(dispatch(fx, opcode, 0, 0, text), 0);
        EXPECT_EQ(text[0], '\0');
    }

    auto* stale = reinterpret_cast<VstSpeakerArrangement*>(gQ);
    VstSpeakerArrangement* input = stale;
    VstSpeakerArrangement* output = stale;
    EXPECT_EQ(dispatch(fx, effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input), &output), 0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
}

TEST_F(Dispatch, SetProgramTakesOnlyNumbersOfExistingPrograms) {
    Bare single(recordHost, 1, 2);
    for (const VstIntPtr value : {VstIntPtr(1), VstIntPtr(-1), VstIntPtr(-2147483647) - 1}) dispatch(single, effSetProgram, 0, value);
    EXPECT_EQ(dispatch(single, effGetProgram), 0);

    Bare three(recordHost, 3, 2);
    dispatch(three, effSetProgram, 0, 2);
    EXPECT_EQ(dispatch(three, effGetProgram), 2);
    for (const VstIntPtr value : {VstIntPtr(3), VstIntPtr(-1)}) dispatch(three, effSetProgram, 0, value);
    EXPECT_EQ(dispatch(three, effGetProgram), 2);
}

TEST_F(Dispatch, MainsChangedSuspendsOnZeroAndResumesOtherwise) {
    for (const VstIntPtr value : {0, 1, 2, -1}) {
        SCOPED_TRACE(value);
        gOps.clear();
        Probe fx;
        EXPECT_EQ(dispatch(fx, effMainsChanged, 0, value), 0);
        ASSERT_FALSE(gOps.empty());
        EXPECT_EQ(gOps.front(), value == 0 ? "suspend()" : "resume()");
    }
}

const std::vector<VstInt32> kEditorOpcodes{effEditGetRect, effEditOpen,  effEditClose,      effEditIdle,
                                           effEditKeyDown, effEditKeyUp, effSetEditKnobMode};

TEST_F(Editor, OpcodesAnswerZeroWithoutEditor) {
    Probe fx;
    for (const VstInt32 opcode : kEditorOpcodes) EXPECT_EQ(dispatch(fx, opcode, 65, 7, P, 3.0f), 0) << opcode;
    EXPECT_EQ(fx.getAeffect()->flags & effFlagsHasEditor, 0);
    EXPECT_TRUE(gOps.empty());
}

TEST_F(Editor, OpcodesReachAttachedEditor) {
    struct Case {
        VstInt32 opcode;
        VstInt32 index;
        VstIntPtr value;
        float opt;
        const char* call;
        bool answers;
    };
    // The key's virtual code and modifier are single bytes: 0x107 arrives as 7.
    const std::vector<Case> cases{
        {effEditGetRect, 0, 0, 0.0f, "editor.getRect(P)", true},
        {effEditOpen, 0, 0, 0.0f, "editor.open(P)", true},
        {effEditClose, 0, 0, 0.0f, "editor.close()", false},
        {effEditIdle, 0, 0, 0.0f, "editor.idle()", false},
        {effEditKeyDown, 65, 0x107, 3.0f, "editor.keyDown(65,7,3)", true},
        {effEditKeyUp, 66, 0x20, 4.0f, "editor.keyUp(66,32,4)", true},
        {effSetEditKnobMode, 0, 2, 0.0f, "editor.knobMode(2)", true},
    };
    for (const bool editorAnswer : {true, false}) {
        Probe fx;
        auto* editor = new TestEditor;
        editor->answer = editorAnswer;
        fx.setEditor(editor);
        EXPECT_EQ(fx.getEditor(), editor);
        EXPECT_EQ(fx.getAeffect()->flags, effFlagsCanReplacing | effFlagsHasEditor);
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.call << " answering " << editorAnswer);
            gOps.clear();
            EXPECT_EQ(dispatch(fx, c.opcode, c.index, c.value, P, c.opt), c.answers && editorAnswer ? 1 : 0);
            EXPECT_EQ(gOps, Ops{c.call});
        }
    }
}

TEST_F(Editor, DetachingClearsFlagAndStopsRouting) {
    Probe fx;
    std::unique_ptr<TestEditor> editor(new TestEditor);
    fx.setEditor(editor.get());
    fx.setEditor(nullptr);
    EXPECT_EQ(fx.getAeffect()->flags, effFlagsCanReplacing);
    for (const VstInt32 opcode : kEditorOpcodes) EXPECT_EQ(dispatch(fx, opcode, 65, 7, P, 3.0f), 0) << opcode;
    EXPECT_TRUE(gOps.empty());
}

TEST_F(Editor, AttachedEditorIsDeletedWithTheEffect) {
    auto* fx = new Probe;
    fx->setEditor(new TestEditor);
    AEffect* e = fx->getAeffect();
    e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
    EXPECT_TRUE(gEditorDestroyed);
}

TEST_F(Resume, SynthAsksHostForMidiWithoutAskingCanDo) {
    Probe fx;
    fx.isSynth();
    dispatch(fx, effMainsChanged, 0, 1);
    EXPECT_EQ(gOps, Ops{"resume()"});
    ASSERT_EQ(gHostCalls.size(), 1u);
    EXPECT_EQ(gHostCalls[0].effect, fx.getAeffect());
    EXPECT_EQ(gHostCalls[0].opcode, audioMasterWantMidi);
    EXPECT_EQ(gHostCalls[0].index, 0);
    EXPECT_EQ(gHostCalls[0].value, 1);
    EXPECT_EQ(gHostCalls[0].ptr, nullptr);
}

TEST_F(Resume, WithoutSynthWantsMidiOnlyWhenCanDoAnswersExactlyOne) {
    for (const VstIntPtr canDo : {1, 0, 0x1130, -1, 2}) {
        SCOPED_TRACE(canDo);
        gOps.clear();
        gHostCalls.clear();
        Probe fx;
        fx.answer = canDo;
        dispatch(fx, effMainsChanged, 0, 1);
        EXPECT_EQ(gOps, (Ops{"resume()", "canDo(\"receiveVstMidiEvent\")"}));
        if (canDo == 1) {
            ASSERT_EQ(gHostCalls.size(), 1u);
            EXPECT_EQ(gHostCalls[0].opcode, audioMasterWantMidi);
            EXPECT_EQ(gHostCalls[0].value, 1);
        } else {
            EXPECT_TRUE(gHostCalls.empty());
        }
    }
}

// How a wrapper turns the host's answer into its own.
enum class Conv { None, Host, Bool, Version, Connected, ExactlyOne };

struct WrapperCase {
    const char* name;
    std::function<VstIntPtr(Probe&)> call;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    Conv conv;
};

template <class T>
VstIntPtr asAnswer(T* p) {
    return reinterpret_cast<VstIntPtr>(p);
}

std::vector<WrapperCase> wrapperCases() {
    using enum Conv;
    auto* events = reinterpret_cast<VstEvents*>(gP);
    auto* file = reinterpret_cast<VstAudioFile*>(gP);
    auto* task = reinterpret_cast<VstOfflineTask*>(gP);
    auto* selector = reinterpret_cast<VstFileSelect*>(gP);
    return {
        {"setParameterAutomated", [](Probe& fx) { return fx.setParameterAutomated(3, 0.25f), 0; }, 0, 3, 0, nullptr,
         0.25f, None},
        {"getMasterVersion", [](Probe& fx) { return fx.getMasterVersion(); }, 1, 0, 0, nullptr, 0, Version},
        {"getCurrentUniqueId", [](Probe& fx) { return fx.getCurrentUniqueId(); }, 2, 0, 0, nullptr, 0, Host},
        {"masterIdle", [](Probe& fx) { return fx.masterIdle(), 0; }, 3, 0, 0, nullptr, 0, None},
        {"isInputConnected", [](Probe& fx) { return fx.isInputConnected(3) ? 1 : 0; }, 4, 3, 0, nullptr, 0, Connected},
        {"isOutputConnected", [](Probe& fx) { return fx.isOutputConnected(3) ? 1 : 0; }, 4, 3, 1, nullptr, 0,
         Connected},
        {"wantEvents", [](Probe& fx) { return fx.wantEvents(5); }, 6, 0, 5, nullptr, 0, Host},
        {"getTimeInfo", [](Probe& fx) { return asAnswer(fx.getTimeInfo(0x200)); }, 7, 0, 0x200, nullptr, 0, Host},
        {"sendVstEventsToHost", [=](Probe& fx) { return fx.sendVstEventsToHost(events) ? 1 : 0; }, 8, 0, 0, P, 0,
         ExactlyOne},
        {"tempoAt", [](Probe& fx) { return fx.tempoAt(5); }, 10, 0, 5, nullptr, 0, Host},
        {"getNumAutomatableParameters", [](Probe& fx) { return fx.getNumAutomatableParameters(); }, 11, 0, 0, nullptr,
         0, Host},
        {"getParameterQuantization", [](Probe& fx) { return fx.getParameterQuantization(); }, 12, 0, 0, nullptr, 0,
         Host},
        {"ioChanged", [](Probe& fx) { return fx.ioChanged() ? 1 : 0; }, 13, 0, 0, nullptr, 0, Bool},
        {"needIdle", [](Probe& fx) { return fx.needIdle() ? 1 : 0; }, 14, 0, 0, nullptr, 0, Bool},
        {"sizeWindow", [](Probe& fx) { return fx.sizeWindow(640, 480) ? 1 : 0; }, 15, 640, 480, nullptr, 0, Bool},
        {"getInputLatency", [](Probe& fx) { return fx.getInputLatency(); }, 18, 0, 0, nullptr, 0, Host},
        {"getOutputLatency", [](Probe& fx) { return fx.getOutputLatency(); }, 19, 0, 0, nullptr, 0, Host},
        {"getPreviousPlug", [](Probe& fx) { return asAnswer(fx.getPreviousPlug(3)); }, 20, 0, 0, nullptr, 0, Host},
        {"getNextPlug", [](Probe& fx) { return asAnswer(fx.getNextPlug(3)); }, 21, 0, 0, nullptr, 0, Host},
        {"willProcessReplacing", [](Probe& fx) { return fx.willProcessReplacing(); }, 22, 0, 0, nullptr, 0, Host},
        {"getCurrentProcessLevel", [](Probe& fx) { return fx.getCurrentProcessLevel(); }, 23, 0, 0, nullptr, 0,
         Host},
        {"getAutomationState", [](Probe& fx) { return fx.getAutomationState(); }, 24, 0, 0, nullptr, 0, Host},
        {"offlineStart", [=](Probe& fx) { return fx.offlineStart(file, 5, 3) ? 1 : 0; }, 25, 3, 5, P, 0, Bool},
        {"offlineRead source", [=](Probe& fx) { return fx.offlineRead(task, 5, true) ? 1 : 0; }, 26, 1, 5, P, 0,
         Bool},
        {"offlineRead", [=](Probe& fx) { return fx.offlineRead(task, 5, false) ? 1 : 0; }, 26, 0, 5, P, 0, Bool},
        {"offlineWrite", [=](Probe& fx) { return fx.offlineWrite(task, 5) ? 1 : 0; }, 27, 0, 5, P, 0, Bool},
        {"offlineGetCurrentPass", [](Probe& fx) { return fx.offlineGetCurrentPass() ? 1 : 0; }, 28, 0, 0, nullptr, 0,
         Bool},
        {"offlineGetCurrentMetaPass", [](Probe& fx) { return fx.offlineGetCurrentMetaPass() ? 1 : 0; }, 29, 0, 0,
         nullptr, 0, Bool},
        {"setOutputSamplerate", [](Probe& fx) { return fx.setOutputSamplerate(48000.0f), 0; }, 30, 0, 0, nullptr,
         48000.0f, None},
        {"getOutputSpeakerArrangement", [](Probe& fx) { return asAnswer(fx.getOutputSpeakerArrangement()); }, 31, 0,
         0, nullptr, 0, Host},
        {"getHostVendorString", [](Probe& fx) { return fx.getHostVendorString(gP) ? 1 : 0; }, 32, 0, 0, P, 0, Bool},
        {"getHostProductString", [](Probe& fx) { return fx.getHostProductString(gP) ? 1 : 0; }, 33, 0, 0, P, 0,
         Bool},
        {"getHostVendorVersion", [](Probe& fx) { return fx.getHostVendorVersion(); }, 34, 0, 0, nullptr, 0, Host},
        {"hostVendorSpecific", [](Probe& fx) { return fx.hostVendorSpecific(3, 5, P, 0.25f); }, 35, 3, 5, P, 0.25f,
         Host},
        {"canHostDo", [](Probe& fx) { return fx.canHostDo(gP) ? 1 : 0; }, 37, 0, 0, P, 0, Bool},
        {"getHostLanguage", [](Probe& fx) { return fx.getHostLanguage(); }, 38, 0, 0, nullptr, 0, Host},
        {"openWindow", [](Probe& fx) { return fx.openWindow(P); }, 39, 0, 0, P, 0, Host},
        {"closeWindow", [](Probe& fx) { return fx.closeWindow(P) ? 1 : 0; }, 40, 0, 0, P, 0, Bool},
        {"getDirectory", [](Probe& fx) { return asAnswer(fx.getDirectory()); }, 41, 0, 0, nullptr, 0, Host},
        {"updateDisplay", [](Probe& fx) { return fx.updateDisplay() ? 1 : 0; }, 42, 0, 0, nullptr, 0, Bool},
        {"beginEdit", [](Probe& fx) { return fx.beginEdit(3) ? 1 : 0; }, 43, 3, 0, nullptr, 0, Bool},
        {"endEdit", [](Probe& fx) { return fx.endEdit(3) ? 1 : 0; }, 44, 3, 0, nullptr, 0, Bool},
        {"openFileSelector", [=](Probe& fx) { return fx.openFileSelector(selector) ? 1 : 0; }, 45, 0, 0, P, 0, Bool},
        {"closeFileSelector", [=](Probe& fx) { return fx.closeFileSelector(selector) ? 1 : 0; }, 46, 0, 0, P, 0,
         Bool},
        {"getChunkFile", [](Probe& fx) { return fx.getChunkFile(P) ? 1 : 0; }, 48, 0, 0, P, 0, Bool},
        {"getInputSpeakerArrangement", [](Probe& fx) { return asAnswer(fx.getInputSpeakerArrangement()); }, 49, 0, 0,
         nullptr, 0, Host},
    };
}

VstIntPtr converted(Conv conv, VstIntPtr host) {
    switch (conv) {
    case Conv::None: return 0;
    case Conv::Host: return host;
    case Conv::Bool: return host != 0;
    case Conv::Version: return host == 0 ? 1 : host;
    case Conv::Connected: return host == 0;
    case Conv::ExactlyOne: return host == 1;
    }
    return 0;
}

TEST_F(HostCalls, WrappersPassArgumentsAndConvertAnswers) {
    for (const VstIntPtr host : {VstIntPtr{0}, VstIntPtr{1}, VstIntPtr{0x1130}}) {
        for (const auto& c : wrapperCases()) {
            SCOPED_TRACE(testing::Message() << c.name << " host answering " << host);
            gHostCalls.clear();
            gHostAnswer = host;
            Probe fx;
            EXPECT_EQ(c.call(fx), converted(c.conv, host));
            ASSERT_EQ(gHostCalls.size(), 1u);
            const HostCall& got = gHostCalls[0];
            EXPECT_EQ(got.effect, fx.getAeffect());
            EXPECT_EQ(got.opcode, c.opcode);
            EXPECT_EQ(got.index, c.index);
            EXPECT_EQ(got.value, c.value);
            EXPECT_EQ(got.ptr, c.ptr);
            EXPECT_EQ(got.opt, c.opt);
        }
    }
}

TEST_F(HostCalls, WrappersWithoutHostAnswerDefaults) {
    for (const auto& c : wrapperCases()) {
        SCOPED_TRACE(c.name);
        Probe fx(nullptr);
        const VstIntPtr expected = c.conv == Conv::Version || c.conv == Conv::Connected ? 1 : 0;
        EXPECT_EQ(c.call(fx), expected);
    }

    gOps.clear();
    Probe fx(nullptr);
    EXPECT_EQ(fx.updateSampleRate(), 44100.0);
    EXPECT_EQ(fx.updateBlockSize(), 1024);
    fx.setParameterAutomated(2, 0.5f);
    EXPECT_EQ(gOps, Ops{"setParameter(2,0.5)"});
}

TEST_F(HostCalls, SetParameterAutomatedSetsParameterBeforeTellingHost) {
    Probe fx;
    fx.setParameterAutomated(3, 0.25f);
    EXPECT_EQ(gOps, Ops{"setParameter(3,0.25)"});
    ASSERT_EQ(gHostCalls.size(), 1u);
    EXPECT_EQ(gHostCalls[0].opsBefore, 1u);
}

TEST_F(HostCalls, UpdateSampleRateAndBlockSizeKeepOnlyPositiveAnswers) {
    Probe fx;
    gHostAnswer = 48000;
    EXPECT_EQ(fx.updateSampleRate(), 48000.0);
    gHostAnswer = 512;
    EXPECT_EQ(fx.updateBlockSize(), 512);
    for (const VstIntPtr refused : {0, -5}) {
        gHostAnswer = refused;
        EXPECT_EQ(fx.updateSampleRate(), 48000.0);
        EXPECT_EQ(fx.updateBlockSize(), 512);
    }
    EXPECT_EQ(fx.getSampleRate(), 48000.0f);
    EXPECT_EQ(fx.getBlockSize(), 512);

    ASSERT_EQ(gHostCalls.size(), 6u);
    for (std::size_t i = 0; i < gHostCalls.size(); ++i) {
        const HostCall& got = gHostCalls[i];
        EXPECT_EQ(got.opcode, i % 2 == 0 ? audioMasterGetSampleRate : audioMasterGetBlockSize);
        EXPECT_EQ(got.effect, fx.getAeffect());
        EXPECT_EQ(got.index, 0);
        EXPECT_EQ(got.value, 0);
        EXPECT_EQ(got.ptr, nullptr);
        EXPECT_EQ(got.opt, 0.0f);
    }
}

TEST_F(HostCalls, FileSelectorsAndChunkFileSkipHostForNull) {
    Probe fx;
    gHostAnswer = 1;
    EXPECT_FALSE(fx.openFileSelector(nullptr));
    EXPECT_FALSE(fx.closeFileSelector(nullptr));
    EXPECT_FALSE(fx.getChunkFile(nullptr));
    EXPECT_TRUE(gHostCalls.empty());
}

TEST_F(StaticEntries, ReachTheObject) {
    Probe fx;
    fx.answer = 7;
    AEffect* e = fx.getAeffect();
    auto** in = reinterpret_cast<float**>(gP);
    auto** out = reinterpret_cast<float**>(gQ);
    e->process(e, in, out, 64);
    e->processReplacing(e, in, out, 32);
    e->processDoubleReplacing(e, reinterpret_cast<double**>(gP), reinterpret_cast<double**>(gQ), 16);
    e->setParameter(e, 3, 0.25f);
    EXPECT_EQ(e->getParameter(e, 1), 7.0f);
    EXPECT_EQ(gOps, (Ops{"process(P,Q,64)", "processReplacing(P,Q,32)", "processDoubleReplacing(P,Q,16)",
                         "setParameter(3,0.25)", "getParameter(1)"}));
    EXPECT_TRUE(gHostCalls.empty());
}

TEST_F(StaticEntries, CloseCallsCloseThenDeletesAndAnswersOne) {
    {
        Probe kept;
        EXPECT_EQ(kept.dispatcher(effClose, 0, 0, nullptr, 0.0f), 0);
        EXPECT_EQ(gOps, Ops{"close()"});
        EXPECT_FALSE(gProbeDestroyed);
    }
    gOps.clear();
    gProbeDestroyed = false;

    auto* fx = new Probe;
    AEffect* e = fx->getAeffect();
    EXPECT_EQ(e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f), 1);
    EXPECT_EQ(gOps, Ops{"close()"});
    EXPECT_TRUE(gProbeDestroyed);
}

}  // namespace
