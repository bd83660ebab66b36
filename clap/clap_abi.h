// The CLAP plug-in interface as this plug-in and its test host use it:
// records, function shapes, identifiers and constants, declared here from the
// published binary layout (CLAP 1.2) under names of our own. A test compares
// every record's size and field offsets, every identifier and every constant
// with the published headers wherever they are at hand.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define CLAPCALL __cdecl
#else
#define CLAPCALL
#endif

using TClapId = std::uint32_t;
constexpr TClapId kClapInvalidId = UINT32_MAX;

struct TClapVersion {
    std::uint32_t Major;
    std::uint32_t Minor;
    std::uint32_t Revision;
};
// The interface version these declarations follow.
constexpr TClapVersion kClapVersion = {1, 2, 10};

// Capacities of the fixed text fields.
constexpr std::uint32_t kClapNameSize = 256;
constexpr std::uint32_t kClapPathSize = 1024;

// Song positions in beats (quarter notes) are fixed point with this factor.
constexpr std::int64_t kClapBeatTimeFactor = std::int64_t{1} << 31;

// ---------------------------------------------------------------------------
// Streams

struct TClapIStream {
    void* Context;
    // Bytes read; 0 at the end of the stream, -1 on an error.
    std::int64_t(CLAPCALL* Read)(const TClapIStream* stream, void* buffer, std::uint64_t size);
};

struct TClapOStream {
    void* Context;
    // Bytes written; -1 on an error.
    std::int64_t(CLAPCALL* Write)(const TClapOStream* stream, const void* buffer, std::uint64_t size);
};

// ---------------------------------------------------------------------------
// Events

struct TClapEventHeader {
    std::uint32_t Size;  // of the whole event
    std::uint32_t Time;  // frame within the block
    std::uint16_t SpaceId;
    std::uint16_t Type;
    std::uint32_t Flags;
};

constexpr std::uint16_t kClapCoreEventSpaceId = 0;

enum : std::uint16_t {
    kClapEventNoteOn = 0,
    kClapEventParamValue = 5,
    kClapEventParamMod = 6,
    kClapEventTransport = 9,
};

struct TClapEventParamValue {
    TClapEventHeader Header;
    TClapId ParamId;
    void* Cookie;
    std::int32_t NoteId;
    std::int16_t PortIndex;
    std::int16_t Channel;
    std::int16_t Key;
    double Value;
};

enum : std::uint32_t {
    kClapTransportHasTempo = 1 << 0,
    kClapTransportHasBeatsTimeline = 1 << 1,
    kClapTransportHasSecondsTimeline = 1 << 2,
    kClapTransportHasTimeSignature = 1 << 3,
    kClapTransportIsPlaying = 1 << 4,
    kClapTransportIsRecording = 1 << 5,
    kClapTransportIsLoopActive = 1 << 6,
    kClapTransportIsWithinPreRoll = 1 << 7,
};

struct TClapEventTransport {
    TClapEventHeader Header;
    std::uint32_t Flags;
    std::int64_t SongPosBeats;
    std::int64_t SongPosSeconds;
    double Tempo;
    double TempoIncrement;
    std::int64_t LoopStartBeats;
    std::int64_t LoopEndBeats;
    std::int64_t LoopStartSeconds;
    std::int64_t LoopEndSeconds;
    std::int64_t BarStart;
    std::int32_t BarNumber;
    std::uint16_t TimeSigNumerator;
    std::uint16_t TimeSigDenominator;
};

struct TClapInputEvents {
    void* Context;
    std::uint32_t(CLAPCALL* Size)(const TClapInputEvents* list);
    const TClapEventHeader*(CLAPCALL* Get)(const TClapInputEvents* list, std::uint32_t index);
};

struct TClapOutputEvents {
    void* Context;
    bool(CLAPCALL* TryPush)(const TClapOutputEvents* list, const TClapEventHeader* event);
};

// ---------------------------------------------------------------------------
// Processing

struct TClapAudioBuffer {
    // One of the two is set.
    float** Data32;
    double** Data64;
    std::uint32_t ChannelCount;
    std::uint32_t Latency;
    std::uint64_t ConstantMask;  // bit c: channel c holds one value throughout
};

enum : std::int32_t {
    kClapProcessError = 0,
    kClapProcessContinue = 1,
    kClapProcessContinueIfNotQuiet = 2,
    kClapProcessTail = 3,
    kClapProcessSleep = 4,
};

struct TClapProcess {
    std::int64_t SteadyTime;
    std::uint32_t FramesCount;
    const TClapEventTransport* Transport;  // null: no transport
    const TClapAudioBuffer* AudioInputs;
    TClapAudioBuffer* AudioOutputs;
    std::uint32_t AudioInputsCount;
    std::uint32_t AudioOutputsCount;
    const TClapInputEvents* InEvents;
    const TClapOutputEvents* OutEvents;
};

// ---------------------------------------------------------------------------
// Host, plug-in, factory and entry

struct TClapHost {
    TClapVersion ClapVersion;
    void* HostData;
    const char* Name;
    const char* Vendor;
    const char* Url;
    const char* Version;
    const void*(CLAPCALL* GetExtension)(const TClapHost* host, const char* extensionId);
    void(CLAPCALL* RequestRestart)(const TClapHost* host);
    void(CLAPCALL* RequestProcess)(const TClapHost* host);
    void(CLAPCALL* RequestCallback)(const TClapHost* host);
};

struct TClapPluginDescriptor {
    TClapVersion ClapVersion;
    const char* Id;
    const char* Name;
    const char* Vendor;
    const char* Url;
    const char* ManualUrl;
    const char* SupportUrl;
    const char* Version;
    const char* Description;
    const char* const* Features;  // null-terminated
};

struct TClapPlugin {
    const TClapPluginDescriptor* Descriptor;
    void* PluginData;
    bool(CLAPCALL* Init)(const TClapPlugin* plugin);
    void(CLAPCALL* Destroy)(const TClapPlugin* plugin);
    bool(CLAPCALL* Activate)(const TClapPlugin* plugin, double sampleRate, std::uint32_t minFrames,
                             std::uint32_t maxFrames);
    void(CLAPCALL* Deactivate)(const TClapPlugin* plugin);
    bool(CLAPCALL* StartProcessing)(const TClapPlugin* plugin);
    void(CLAPCALL* StopProcessing)(const TClapPlugin* plugin);
    void(CLAPCALL* Reset)(const TClapPlugin* plugin);
    std::int32_t(CLAPCALL* Process)(const TClapPlugin* plugin, const TClapProcess* process);
    const void*(CLAPCALL* GetExtension)(const TClapPlugin* plugin, const char* id);
    void(CLAPCALL* OnMainThread)(const TClapPlugin* plugin);
};

struct TClapPluginFactory {
    std::uint32_t(CLAPCALL* GetPluginCount)(const TClapPluginFactory* factory);
    const TClapPluginDescriptor*(CLAPCALL* GetPluginDescriptor)(const TClapPluginFactory* factory,
                                                                std::uint32_t index);
    const TClapPlugin*(CLAPCALL* CreatePlugin)(const TClapPluginFactory* factory, const TClapHost* host,
                                               const char* pluginId);
};

struct TClapPluginEntry {
    TClapVersion ClapVersion;
    bool(CLAPCALL* Init)(const char* pluginPath);
    void(CLAPCALL* Deinit)();
    const void*(CLAPCALL* GetFactory)(const char* factoryId);
};

constexpr const char kClapPluginFactoryId[] = "clap.plugin-factory";

constexpr const char kClapFeatureAudioEffect[] = "audio-effect";
constexpr const char kClapFeatureUtility[] = "utility";

// ---------------------------------------------------------------------------
// Extensions

constexpr const char kClapExtAudioPorts[] = "clap.audio-ports";
constexpr const char kClapExtParams[] = "clap.params";
constexpr const char kClapExtState[] = "clap.state";
constexpr const char kClapExtLatency[] = "clap.latency";
constexpr const char kClapExtLog[] = "clap.log";
constexpr const char kClapExtThreadCheck[] = "clap.thread-check";

enum : std::uint32_t {
    kClapAudioPortIsMain = 1 << 0,
    kClapAudioPortSupports64Bits = 1 << 1,
    kClapAudioPortPrefers64Bits = 1 << 2,
    kClapAudioPortRequiresCommonSampleSize = 1 << 3,
};

struct TClapAudioPortInfo {
    TClapId Id;
    char Name[kClapNameSize];
    std::uint32_t Flags;
    std::uint32_t ChannelCount;
    const char* PortType;  // null or empty: any
    TClapId InPlacePair;
};

struct TClapPluginAudioPorts {
    std::uint32_t(CLAPCALL* Count)(const TClapPlugin* plugin, bool isInput);
    bool(CLAPCALL* Get)(const TClapPlugin* plugin, std::uint32_t index, bool isInput, TClapAudioPortInfo* info);
};

enum : std::uint32_t {
    kClapParamIsStepped = 1 << 0,
    kClapParamIsPeriodic = 1 << 1,
    kClapParamIsHidden = 1 << 2,
    kClapParamIsReadonly = 1 << 3,
    kClapParamIsBypass = 1 << 4,
    kClapParamIsAutomatable = 1 << 5,
    kClapParamIsModulatable = 1 << 10,
    kClapParamRequiresProcess = 1 << 15,
    kClapParamIsEnum = 1 << 16,
};

struct TClapParamInfo {
    TClapId Id;
    std::uint32_t Flags;
    void* Cookie;
    char Name[kClapNameSize];
    char Module[kClapPathSize];
    double MinValue;
    double MaxValue;
    double DefaultValue;
};

struct TClapPluginParams {
    std::uint32_t(CLAPCALL* Count)(const TClapPlugin* plugin);
    bool(CLAPCALL* GetInfo)(const TClapPlugin* plugin, std::uint32_t index, TClapParamInfo* info);
    bool(CLAPCALL* GetValue)(const TClapPlugin* plugin, TClapId id, double* value);
    bool(CLAPCALL* ValueToText)(const TClapPlugin* plugin, TClapId id, double value, char* text,
                                std::uint32_t capacity);
    bool(CLAPCALL* TextToValue)(const TClapPlugin* plugin, TClapId id, const char* text, double* value);
    void(CLAPCALL* Flush)(const TClapPlugin* plugin, const TClapInputEvents* in, const TClapOutputEvents* out);
};

enum : std::uint32_t {
    kClapParamRescanValues = 1 << 0,
    kClapParamRescanText = 1 << 1,
    kClapParamRescanInfo = 1 << 2,
    kClapParamRescanAll = 1 << 3,
};

struct TClapHostParams {
    void(CLAPCALL* Rescan)(const TClapHost* host, std::uint32_t flags);
    void(CLAPCALL* Clear)(const TClapHost* host, TClapId id, std::uint32_t flags);
    void(CLAPCALL* RequestFlush)(const TClapHost* host);
};

struct TClapPluginState {
    bool(CLAPCALL* Save)(const TClapPlugin* plugin, const TClapOStream* stream);
    bool(CLAPCALL* Load)(const TClapPlugin* plugin, const TClapIStream* stream);
};

struct TClapHostState {
    void(CLAPCALL* MarkDirty)(const TClapHost* host);
};

struct TClapPluginLatency {
    std::uint32_t(CLAPCALL* Get)(const TClapPlugin* plugin);
};

struct TClapHostLatency {
    void(CLAPCALL* Changed)(const TClapHost* host);
};

enum : std::int32_t {
    kClapLogDebug = 0,
    kClapLogInfo = 1,
    kClapLogWarning = 2,
    kClapLogError = 3,
    kClapLogFatal = 4,
    kClapLogHostMisbehaving = 5,
    kClapLogPluginMisbehaving = 6,
};

struct TClapHostLog {
    void(CLAPCALL* Log)(const TClapHost* host, std::int32_t severity, const char* message);
};

struct TClapHostThreadCheck {
    bool(CLAPCALL* IsMainThread)(const TClapHost* host);
    bool(CLAPCALL* IsAudioThread)(const TClapHost* host);
};
