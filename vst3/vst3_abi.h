// The VST 3 interfaces as this plug-in and its test host use them: records,
// interface tables, identifiers and constants, declared here from the
// published binary layout (VST 3.8) under names of our own, and only what we
// use. Interfaces are records whose first member points at a table of
// functions, the object itself being each function's first argument. A test
// compares every record's size and field offsets, every table's slots and
// every identifier with the published C API wherever it is at hand.
#pragma once

#include <cstdint>
#include <cstring>

// Windows hosts expect the COM conventions: callee-cleans calls on 32-bit x86
// (the keyword means nothing on x86_64), COM result codes and identifiers in
// the GUID byte order.
#if defined(_WIN32)
#define VST3CALL __stdcall
#define VST3_COM_COMPATIBLE 1
#else
#define VST3CALL
#define VST3_COM_COMPATIBLE 0
#endif

using TVst3Result = std::int32_t;
using TVst3ParamId = std::uint32_t;
using TVst3ParamValue = double;
using TVst3SpeakerArrangement = std::uint64_t;
// The 16-channel arrangements hosts name: third-order Ambisonics (ACN 0-15)
// and the two 9.1.6 layouts; the plain one is the first 16 speakers.
constexpr TVst3SpeakerArrangement kVst3Ambisonics3rdOrder = 0x0003FFC000F00000;
constexpr TVst3SpeakerArrangement kVst3Surround91_6 = 0x000000000302D6FF;
constexpr TVst3SpeakerArrangement kVst3Surround91_6Wide = 0x180000000302D63F;
constexpr TVst3SpeakerArrangement kVst3First16Speakers = 0xFFFF;
using TVst3Char16 = char16_t;
using TVst3String128 = TVst3Char16[128];
// A class or interface identifier as hosts pass it: 16 bytes.
using TVst3Tuid = char[16];

#if VST3_COM_COMPATIBLE
constexpr TVst3Result kVst3NoInterface = static_cast<TVst3Result>(0x80004002u);
constexpr TVst3Result kVst3ResultOk = 0;
constexpr TVst3Result kVst3ResultFalse = 1;
constexpr TVst3Result kVst3InvalidArgument = static_cast<TVst3Result>(0x80070057u);
constexpr TVst3Result kVst3NotImplemented = static_cast<TVst3Result>(0x80004001u);
constexpr TVst3Result kVst3OutOfMemory = static_cast<TVst3Result>(0x8007000Eu);
#else
constexpr TVst3Result kVst3NoInterface = -1;
constexpr TVst3Result kVst3ResultOk = 0;
constexpr TVst3Result kVst3ResultFalse = 1;
constexpr TVst3Result kVst3InvalidArgument = 2;
constexpr TVst3Result kVst3NotImplemented = 3;
constexpr TVst3Result kVst3OutOfMemory = 6;
#endif

// An identifier written as four 32-bit words, laid out in the platform's order.
struct TVst3Uid {
    char Bytes[16];

    bool Is(const char* bytes) const { return bytes && std::memcmp(Bytes, bytes, sizeof Bytes) == 0; }
};

constexpr TVst3Uid Vst3Uid(std::uint32_t w1, std::uint32_t w2, std::uint32_t w3, std::uint32_t w4) {
    auto b = [](std::uint32_t word, int shift) { return static_cast<char>((word >> shift) & 0xFF); };
#if VST3_COM_COMPATIBLE
    // A GUID: the first word and the two halves of the second little-endian.
    return {{b(w1, 0), b(w1, 8), b(w1, 16), b(w1, 24), b(w2, 16), b(w2, 24), b(w2, 0), b(w2, 8), b(w3, 24),
             b(w3, 16), b(w3, 8), b(w3, 0), b(w4, 24), b(w4, 16), b(w4, 8), b(w4, 0)}};
#else
    return {{b(w1, 24), b(w1, 16), b(w1, 8), b(w1, 0), b(w2, 24), b(w2, 16), b(w2, 8), b(w2, 0), b(w3, 24),
             b(w3, 16), b(w3, 8), b(w3, 0), b(w4, 24), b(w4, 16), b(w4, 8), b(w4, 0)}};
#endif
}

// ---------------------------------------------------------------------------
// Records

enum : std::int32_t {
    kVst3FactoryUnicode = 1 << 4,
    kVst3ManyInstances = 0x7FFFFFFF,
    kVst3Distributable = 1 << 0,  // class flag: processor and controller may run apart
};

struct TVst3FactoryInfo {
    char Vendor[64];
    char Url[256];
    char Email[128];
    std::int32_t Flags;
};

struct TVst3ClassInfo {
    TVst3Tuid Cid;
    std::int32_t Cardinality;
    char Category[32];
    char Name[64];
};

struct TVst3ClassInfo2 {
    TVst3Tuid Cid;
    std::int32_t Cardinality;
    char Category[32];
    char Name[64];
    std::uint32_t ClassFlags;
    char SubCategories[128];
    char Vendor[64];
    char Version[64];
    char SdkVersion[64];
};

struct TVst3ClassInfoW {
    TVst3Tuid Cid;
    std::int32_t Cardinality;
    char Category[32];
    TVst3Char16 Name[64];
    std::uint32_t ClassFlags;
    char SubCategories[128];
    TVst3Char16 Vendor[64];
    TVst3Char16 Version[64];
    TVst3Char16 SdkVersion[64];
};

enum : std::int32_t {
    kVst3Audio = 0,
    kVst3Event = 1,
    kVst3Input = 0,
    kVst3Output = 1,
    kVst3MainBus = 0,
    kVst3BusDefaultActive = 1 << 0,
};

struct TVst3BusInfo {
    std::int32_t MediaType;
    std::int32_t Direction;
    std::int32_t ChannelCount;
    TVst3String128 Name;
    std::int32_t BusType;
    std::uint32_t Flags;
};

struct TVst3RoutingInfo {
    std::int32_t MediaType;
    std::int32_t BusIndex;
    std::int32_t Channel;
};

enum : std::int32_t {
    kVst3ParamCanAutomate = 1 << 0,
    kVst3ParamIsList = 1 << 3,
};

struct TVst3ParameterInfo {
    TVst3ParamId Id;
    TVst3String128 Title;
    TVst3String128 ShortTitle;
    TVst3String128 Units;
    std::int32_t StepCount;
    TVst3ParamValue DefaultNormalizedValue;
    std::int32_t UnitId;
    std::int32_t Flags;
};

enum : std::int32_t {
    kVst3Sample32 = 0,
    kVst3Sample64 = 1,
    kVst3Realtime = 0,
    kVst3Offline = 2,
};

struct TVst3ProcessSetup {
    std::int32_t ProcessMode;
    std::int32_t SymbolicSampleSize;
    std::int32_t MaxSamplesPerBlock;
    double SampleRate;
};

struct TVst3AudioBusBuffers {
    std::int32_t NumChannels;
    std::uint64_t SilenceFlags;
    union {
        float** Buffers32;
        double** Buffers64;
    };
};

enum : std::uint32_t {
    kVst3ContextPlaying = 1 << 1,
    kVst3ContextRecording = 1 << 3,
    kVst3ContextProjectTimeMusicValid = 1 << 9,
    kVst3ContextTempoValid = 1 << 10,
    kVst3ContextTimeSigValid = 1 << 13,
};

struct TVst3Chord {
    std::uint8_t KeyNote;
    std::uint8_t RootNote;
    std::int16_t ChordMask;
};

struct TVst3FrameRate {
    std::uint32_t FramesPerSecond;
    std::uint32_t Flags;
};

struct TVst3ProcessContext {
    std::uint32_t State;
    double SampleRate;
    std::int64_t ProjectTimeSamples;
    std::int64_t SystemTime;
    std::int64_t ContinuousTimeSamples;
    double ProjectTimeMusic;  // quarter notes
    double BarPositionMusic;
    double CycleStartMusic;
    double CycleEndMusic;
    double Tempo;
    std::int32_t TimeSigNumerator;
    std::int32_t TimeSigDenominator;
    TVst3Chord Chord;
    std::int32_t SmpteOffsetSubframes;
    TVst3FrameRate FrameRate;
    std::int32_t SamplesToNextClock;
};

enum : std::uint32_t {
    kVst3NeedProjectTimeMusic = 1 << 2,
    kVst3NeedTempo = 1 << 6,
    kVst3NeedTimeSignature = 1 << 7,
    kVst3NeedTransportState = 1 << 10,
};

struct TVst3ParameterChanges;

struct TVst3ProcessData {
    std::int32_t ProcessMode;
    std::int32_t SymbolicSampleSize;
    std::int32_t NumSamples;
    std::int32_t NumInputs;
    std::int32_t NumOutputs;
    TVst3AudioBusBuffers* Inputs;
    TVst3AudioBusBuffers* Outputs;
    TVst3ParameterChanges* InputParameterChanges;
    TVst3ParameterChanges* OutputParameterChanges;
    // Event lists, which an effect without events leaves alone.
    void* InputEvents;
    void* OutputEvents;
    TVst3ProcessContext* ProcessContext;
};

// ---------------------------------------------------------------------------
// Interfaces. Every table starts with the three slots of the base interface:
// QueryInterface, AddRef, Release.

struct TVst3UnknownVtbl {
    TVst3Result(VST3CALL* QueryInterface)(void* self, const TVst3Tuid iid, void** object);
    std::uint32_t(VST3CALL* AddRef)(void* self);
    std::uint32_t(VST3CALL* Release)(void* self);
};
struct TVst3Unknown {
    const TVst3UnknownVtbl* Vtbl;
};
constexpr TVst3Uid kVst3UnknownIid = Vst3Uid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);

enum : std::int32_t {
    kVst3SeekSet = 0,
    kVst3SeekCur = 1,
    kVst3SeekEnd = 2,
};

struct TVst3StreamVtbl {
    TVst3Result(VST3CALL* QueryInterface)(void* self, const TVst3Tuid iid, void** object);
    std::uint32_t(VST3CALL* AddRef)(void* self);
    std::uint32_t(VST3CALL* Release)(void* self);
    TVst3Result(VST3CALL* Read)(void* self, void* buffer, std::int32_t bytes, std::int32_t* bytesRead);
    TVst3Result(VST3CALL* Write)(void* self, void* buffer, std::int32_t bytes, std::int32_t* bytesWritten);
    TVst3Result(VST3CALL* Seek)(void* self, std::int64_t position, std::int32_t mode, std::int64_t* result);
    TVst3Result(VST3CALL* Tell)(void* self, std::int64_t* position);
};
struct TVst3Stream {
    const TVst3StreamVtbl* Vtbl;
};
constexpr TVst3Uid kVst3StreamIid = Vst3Uid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);

struct TVst3PluginBaseVtbl {
    TVst3Result(VST3CALL* QueryInterface)(void* self, const TVst3Tuid iid, void** object);
    std::uint32_t(VST3CALL* AddRef)(void* self);
    std::uint32_t(VST3CALL* Release)(void* self);
    TVst3Result(VST3CALL* Initialize)(void* self, TVst3Unknown* context);
    TVst3Result(VST3CALL* Terminate)(void* self);
};
constexpr TVst3Uid kVst3PluginBaseIid = Vst3Uid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);

// One table serves the three factory interfaces, each an extension of the last.
struct TVst3PluginFactoryVtbl {
    TVst3Result(VST3CALL* QueryInterface)(void* self, const TVst3Tuid iid, void** object);
    std::uint32_t(VST3CALL* AddRef)(void* self);
    std::uint32_t(VST3CALL* Release)(void* self);
    TVst3Result(VST3CALL* GetFactoryInfo)(void* self, TVst3FactoryInfo* info);
    std::int32_t(VST3CALL* CountClasses)(void* self);
    TVst3Result(VST3CALL* GetClassInfo)(void* self, std::int32_t index, TVst3ClassInfo* info);
    TVst3Result(VST3CALL* CreateInstance)(void* self, const char* cid, const char* iid, void** object);
    TVst3Result(VST3CALL* GetClassInfo2)(void* self, std::int32_t index, TVst3ClassInfo2* info);
    TVst3Result(VST3CALL* GetClassInfoUnicode)(void* self, std::int32_t index, TVst3ClassInfoW* info);
    TVst3Result(VST3CALL* SetHostContext)(void* self, TVst3Unknown* context);
};
struct TVst3PluginFactory {
    const TVst3PluginFactoryVtbl* Vtbl;
};
constexpr TVst3Uid kVst3PluginFactoryIid = Vst3Uid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
constexpr TVst3Uid kVst3PluginFactory2Iid = Vst3Uid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
constexpr TVst3Uid kVst3PluginFactory3Iid = Vst3Uid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);

struct TVst3ComponentVtbl {
    TVst3Result(VST3CALL* QueryInterface)(void* self, const TVst3Tuid iid, void** object);
    std::uint32_t(VST3CALL* AddRef)(void* self);
    std::uint32_t(VST3CALL* Release)(void* self);
    TVst3Result(VST3CALL* Initialize)(void* self, TVst3Unknown* context);
    TVst3Result(VST3CALL* Terminate)(void* self);
    TVst3Result(VST3CALL* GetControllerClassId)(void* self, TVst3Tuid classId);
    TVst3Result(VST3CALL* SetIoMode)(void* self, std::int32_t mode);
    std::int32_t(VST3CALL* GetBusCount)(void* self, std::int32_t type, std::int32_t direction);
    TVst3Result(VST3CALL* GetBusInfo)(void* self, std::int32_t type, std::int32_t direction, std::int32_t index,
                                      TVst3BusInfo* bus);
    TVst3Result(VST3CALL* GetRoutingInfo)(void* self, TVst3RoutingInfo* in, TVst3RoutingInfo* out);
    TVst3Result(VST3CALL* ActivateBus)(void* self, std::int32_t type, std::int32_t direction, std::int32_t index,
                                       std::uint8_t state);
    TVst3Result(VST3CALL* SetActive)(void* self, std::uint8_t state);
    TVst3Result(VST3CALL* SetState)(void* self, TVst3Stream* state);
    TVst3Result(VST3CALL* GetState)(void* self, TVst3Stream* state);
};
struct TVst3Component {
    const TVst3ComponentVtbl* Vtbl;
};
constexpr TVst3Uid kVst3ComponentIid = Vst3Uid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);

struct TVst3AudioProcessorVtbl {
    TVst3Result(VST3CALL* QueryInterface)(void* self, const TVst3Tuid iid, void** object);
    std::uint32_t(VST3CALL* AddRef)(void* self);
    std::uint32_t(VST3CALL* Release)(void* self);
    TVst3Result(VST3CALL* SetBusArrangements)(void* self, TVst3SpeakerArrangement* inputs, std::int32_t inputCount,
                                              TVst3SpeakerArrangement* outputs, std::int32_t outputCount);
    TVst3Result(VST3CALL* GetBusArrangement)(void* self, std::int32_t direction, std::int32_t index,
                                             TVst3SpeakerArrangement* arrangement);
    TVst3Result(VST3CALL* CanProcessSampleSize)(void* self, std::int32_t symbolicSampleSize);
    std::uint32_t(VST3CALL* GetLatencySamples)(void* self);
    TVst3Result(VST3CALL* SetupProcessing)(void* self, TVst3ProcessSetup* setup);
    TVst3Result(VST3CALL* SetProcessing)(void* self, std::uint8_t state);
    TVst3Result(VST3CALL* Process)(void* self, TVst3ProcessData* data);
    std::uint32_t(VST3CALL* GetTailSamples)(void* self);
};
struct TVst3AudioProcessor {
    const TVst3AudioProcessorVtbl* Vtbl;
};
constexpr TVst3Uid kVst3AudioProcessorIid = Vst3Uid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);

struct TVst3ProcessContextRequirementsVtbl {
    TVst3Result(VST3CALL* QueryInterface)(void* self, const TVst3Tuid iid, void** object);
    std::uint32_t(VST3CALL* AddRef)(void* self);
    std::uint32_t(VST3CALL* Release)(void* self);
    std::uint32_t(VST3CALL* GetProcessContextRequirements)(void* self);
};
struct TVst3ProcessContextRequirements {
    const TVst3ProcessContextRequirementsVtbl* Vtbl;
};
constexpr TVst3Uid kVst3ProcessContextRequirementsIid = Vst3Uid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);

struct TVst3EditControllerVtbl {
    TVst3Result(VST3CALL* QueryInterface)(void* self, const TVst3Tuid iid, void** object);
    std::uint32_t(VST3CALL* AddRef)(void* self);
    std::uint32_t(VST3CALL* Release)(void* self);
    TVst3Result(VST3CALL* Initialize)(void* self, TVst3Unknown* context);
    TVst3Result(VST3CALL* Terminate)(void* self);
    TVst3Result(VST3CALL* SetComponentState)(void* self, TVst3Stream* state);
    TVst3Result(VST3CALL* SetState)(void* self, TVst3Stream* state);
    TVst3Result(VST3CALL* GetState)(void* self, TVst3Stream* state);
    std::int32_t(VST3CALL* GetParameterCount)(void* self);
    TVst3Result(VST3CALL* GetParameterInfo)(void* self, std::int32_t index, TVst3ParameterInfo* info);
    TVst3Result(VST3CALL* GetParamStringByValue)(void* self, TVst3ParamId id, TVst3ParamValue normalized,
                                                 TVst3String128 text);
    TVst3Result(VST3CALL* GetParamValueByString)(void* self, TVst3ParamId id, TVst3Char16* text,
                                                 TVst3ParamValue* normalized);
    TVst3ParamValue(VST3CALL* NormalizedParamToPlain)(void* self, TVst3ParamId id, TVst3ParamValue normalized);
    TVst3ParamValue(VST3CALL* PlainParamToNormalized)(void* self, TVst3ParamId id, TVst3ParamValue plain);
    TVst3ParamValue(VST3CALL* GetParamNormalized)(void* self, TVst3ParamId id);
    TVst3Result(VST3CALL* SetParamNormalized)(void* self, TVst3ParamId id, TVst3ParamValue value);
    // The host's component handler, which a controller without an editor never calls.
    TVst3Result(VST3CALL* SetComponentHandler)(void* self, TVst3Unknown* handler);
    // A plug-in view; null for a plug-in without an editor.
    void*(VST3CALL* CreateView)(void* self, const char* name);
};
struct TVst3EditController {
    const TVst3EditControllerVtbl* Vtbl;
};
constexpr TVst3Uid kVst3EditControllerIid = Vst3Uid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);

// Hosts connect the processor and the controller through this; the
// messages it would carry are opaque to us.
struct TVst3Message;
struct TVst3ConnectionPoint;
struct TVst3ConnectionPointVtbl {
    TVst3Result(VST3CALL* QueryInterface)(void* self, const TVst3Tuid iid, void** object);
    std::uint32_t(VST3CALL* AddRef)(void* self);
    std::uint32_t(VST3CALL* Release)(void* self);
    TVst3Result(VST3CALL* Connect)(void* self, TVst3ConnectionPoint* other);
    TVst3Result(VST3CALL* Disconnect)(void* self, TVst3ConnectionPoint* other);
    TVst3Result(VST3CALL* Notify)(void* self, TVst3Message* message);
};
struct TVst3ConnectionPoint {
    const TVst3ConnectionPointVtbl* Vtbl;
};
constexpr TVst3Uid kVst3ConnectionPointIid = Vst3Uid(0x70A4156F, 0x6E6E4026, 0x989148BF, 0xAA60D8D1);

struct TVst3ParamValueQueueVtbl {
    TVst3Result(VST3CALL* QueryInterface)(void* self, const TVst3Tuid iid, void** object);
    std::uint32_t(VST3CALL* AddRef)(void* self);
    std::uint32_t(VST3CALL* Release)(void* self);
    TVst3ParamId(VST3CALL* GetParameterId)(void* self);
    std::int32_t(VST3CALL* GetPointCount)(void* self);
    TVst3Result(VST3CALL* GetPoint)(void* self, std::int32_t index, std::int32_t* sampleOffset,
                                    TVst3ParamValue* value);
    TVst3Result(VST3CALL* AddPoint)(void* self, std::int32_t sampleOffset, TVst3ParamValue value,
                                    std::int32_t* index);
};
struct TVst3ParamValueQueue {
    const TVst3ParamValueQueueVtbl* Vtbl;
};
constexpr TVst3Uid kVst3ParamValueQueueIid = Vst3Uid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);

struct TVst3ParameterChangesVtbl {
    TVst3Result(VST3CALL* QueryInterface)(void* self, const TVst3Tuid iid, void** object);
    std::uint32_t(VST3CALL* AddRef)(void* self);
    std::uint32_t(VST3CALL* Release)(void* self);
    std::int32_t(VST3CALL* GetParameterCount)(void* self);
    TVst3ParamValueQueue*(VST3CALL* GetParameterData)(void* self, std::int32_t index);
    TVst3ParamValueQueue*(VST3CALL* AddParameterData)(void* self, const TVst3ParamId* id, std::int32_t* index);
};
struct TVst3ParameterChanges {
    const TVst3ParameterChangesVtbl* Vtbl;
};
constexpr TVst3Uid kVst3ParameterChangesIid = Vst3Uid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);

// The module's entry: the factory, counted as every interface is. Declared
// with the COM convention by the format, which for a function without
// arguments is the C one everywhere: the exported name stays undecorated.
using TVst3GetPluginFactory = TVst3PluginFactory* (*)();
