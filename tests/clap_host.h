// A CLAP host for the tests, the fuzz target and the benchmark: loads the
// built module through clap_entry and drives a plug-in only as a host does,
// recording what the plug-in asks of it.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "byte_stream.h"
#include "clap_abi.h"
#include "host_channels.h"
#include "plugin_library.h"

constexpr const char* kClapPluginId = "com.brindlefox.multichannel-patcher";
constexpr int kClapChannels = 16;

// The module under test: $CLAP_PLUGIN_PATH if set, else the build's.
inline std::string ClapPluginPath() {
    if (const char* path = std::getenv("CLAP_PLUGIN_PATH")) return path;
    return MULTICHANNEL_PATCHER_CLAP_PATH;
}

// Loaded and initialised once per program, as a host keeps a module.
class ClapModule {
public:
    static ClapModule& Loaded() {
        static ClapModule module;
        return module;
    }

    const TClapPluginEntry& Entry() const { return *entry; }
    const TClapPluginFactory& Factory() const {
        return *static_cast<const TClapPluginFactory*>(entry->GetFactory(kClapPluginFactoryId));
    }

private:
    ClapModule() {
        std::string error;
        const std::string path = ClapPluginPath();
        library = PluginLibrary::Open(path, error);
        if (library) entry = static_cast<const TClapPluginEntry*>(library->Symbol("clap_entry"));
        if (!entry || !entry->Init(path.c_str()) || !entry->GetFactory(kClapPluginFactoryId)) {
            std::fprintf(stderr, "cannot use %s as a CLAP module %s\n", path.c_str(), error.c_str());
            std::abort();
        }
    }
    ~ClapModule() { entry->Deinit(); }

    std::unique_ptr<PluginLibrary> library;
    const TClapPluginEntry* entry = nullptr;
};

// The host side of one or more instances: the extensions it offers, and what
// the plug-in asked of it. Calls CLAP allows only on the main thread (or not
// on the audio thread) count as misplaced when made elsewhere.
class ClapTestHost {
public:
    ClapTestHost() {
        record.HostData = this;
        record.GetExtension = GetExtension;
        record.RequestRestart = [](const TClapHost* host) { Self(host).restarts++; };
        record.RequestProcess = [](const TClapHost*) {};
        record.RequestCallback = [](const TClapHost*) {};
    }
    ClapTestHost(const ClapTestHost&) = delete;
    ClapTestHost& operator=(const ClapTestHost&) = delete;

    const TClapHost* Record() const { return &record; }

    // The thread the tests count as the main one, and marks of the audio thread.
    std::thread::id mainThread = std::this_thread::get_id();
    static inline thread_local bool onAudioThread = false;

    bool offersExtensions = true;  // false: GetExtension answers null to all
    bool offersThreadCheck = true;

    std::atomic<int> rescans{0}, rescanFlags{0}, latencyChanges{0}, flushRequests{0}, dirtyMarks{0}, restarts{0};
    std::atomic<int> misplacedCalls{0};
    std::vector<std::string> logs;

private:
    static ClapTestHost& Self(const TClapHost* host) { return *static_cast<ClapTestHost*>(host->HostData); }
    static bool IsMain(const TClapHost* host) { return std::this_thread::get_id() == Self(host).mainThread; }
    static void MainThreadCall(const TClapHost* host) {
        if (!IsMain(host) || onAudioThread) Self(host).misplacedCalls++;
    }

    static const void* CLAPCALL GetExtension(const TClapHost* host, const char* id) {
        static constexpr TClapHostLog log = {[](const TClapHost* host, std::int32_t severity, const char* message) {
            static std::mutex guard;
            const std::lock_guard<std::mutex> lock(guard);
            Self(host).logs.push_back(std::to_string(severity) + " " + message);
        }};
        static constexpr TClapHostParams params = {
            [](const TClapHost* host, std::uint32_t flags) {
                MainThreadCall(host);
                Self(host).rescans++;
                Self(host).rescanFlags |= static_cast<int>(flags);
            },
            [](const TClapHost* host, TClapId, std::uint32_t) { MainThreadCall(host); },
            [](const TClapHost* host) {
                if (onAudioThread) Self(host).misplacedCalls++;
                Self(host).flushRequests++;
            }};
        static constexpr TClapHostState state = {[](const TClapHost* host) {
            MainThreadCall(host);
            Self(host).dirtyMarks++;
        }};
        static constexpr TClapHostLatency latency = {[](const TClapHost* host) {
            MainThreadCall(host);
            Self(host).latencyChanges++;
        }};
        static constexpr TClapHostThreadCheck threadCheck = {
            [](const TClapHost* host) { return IsMain(host) && !onAudioThread; },
            [](const TClapHost*) { return onAudioThread; }};
        const ClapTestHost& self = Self(host);
        if (!self.offersExtensions || !id) return nullptr;
        const std::string name = id;
        if (name == kClapExtLog) return &log;
        if (name == kClapExtParams) return &params;
        if (name == kClapExtState) return &state;
        if (name == kClapExtLatency) return &latency;
        if (name == kClapExtThreadCheck && self.offersThreadCheck) return &threadCheck;
        return nullptr;
    }

    TClapHost record{kClapVersion, nullptr, "test host", "tests", "", "1.0", nullptr, nullptr, nullptr, nullptr};
};

// Events for one process or flush call, in the order added.
class ClapEvents {
public:
    ClapEvents() {
        list.Context = this;
        list.Size = [](const TClapInputEvents* list) { return static_cast<std::uint32_t>(Self(list).events.size()); };
        list.Get = [](const TClapInputEvents* list, std::uint32_t index) -> const TClapEventHeader* {
            const auto& events = Self(list).events;
            return index < events.size() ? &events[index].header : nullptr;
        };
    }
    ClapEvents(const ClapEvents&) = delete;
    ClapEvents& operator=(const ClapEvents&) = delete;

    ClapEvents& Param(std::uint32_t time, TClapId id, double value) {
        Slot slot{};
        slot.param.Header = {sizeof(TClapEventParamValue), time, kClapCoreEventSpaceId, kClapEventParamValue, 0};
        slot.param.ParamId = id;
        slot.param.NoteId = -1;
        slot.param.PortIndex = slot.param.Channel = slot.param.Key = -1;
        slot.param.Value = value;
        events.push_back(slot);
        return *this;
    }
    // A parameter value event with its header changed: another type, space or size.
    ClapEvents& Odd(std::uint32_t time, TClapId id, double value, std::uint16_t type, std::uint16_t space,
                    std::uint32_t size = sizeof(TClapEventParamValue)) {
        Param(time, id, value);
        events.back().param.Header.Type = type;
        events.back().param.Header.SpaceId = space;
        events.back().param.Header.Size = size;
        return *this;
    }
    void Clear() { events.clear(); }
    std::size_t Count() const { return events.size(); }

    const TClapInputEvents* List() const { return &list; }

private:
    union Slot {
        TClapEventHeader header;
        TClapEventParamValue param;
        TClapEventTransport transport;
    };
    static const ClapEvents& Self(const TClapInputEvents* list) { return *static_cast<const ClapEvents*>(list->Context); }

    std::vector<Slot> events;
    TClapInputEvents list{};
};

// Output events the plug-in pushes: none are expected, all are counted.
struct ClapOutputEvents {
    ClapOutputEvents() {
        list.Context = this;
        list.TryPush = [](const TClapOutputEvents* list, const TClapEventHeader*) {
            static_cast<ClapOutputEvents*>(list->Context)->pushed++;
            return true;
        };
    }
    int pushed = 0;
    TClapOutputEvents list{};
};

// The channels of one process call. Outputs are separate, the inputs
// themselves (in place), or the inputs shifted by `offset` frames (partly
// overlapping).
template <class Sample>
class ClapAudio : public HostChannels<Sample> {
public:
    static constexpr int kSeparate = std::numeric_limits<int>::min();

    explicit ClapAudio(int frames, int offset = kSeparate)
        : HostChannels<Sample>(frames),
          offset(offset),
          stride(2 * frames + 2 * std::abs(offset == kSeparate ? 0 : offset) + 16) {
        pool.assign(static_cast<std::size_t>(stride) * kClapChannels, Sample(-7));
        // Never empty: a block of no frames still has a buffer for every channel.
        if (offset == kSeparate) separate.assign(static_cast<std::size_t>(frames + 1) * kClapChannels, Sample(-7));
        for (int c = 0; c < kClapChannels; ++c) {
            this->in[c] = pool.data() + static_cast<std::ptrdiff_t>(c) * stride + stride / 2 - frames / 2;
            this->out[c] =
                offset == kSeparate ? separate.data() + static_cast<std::ptrdiff_t>(c) * frames : this->in[c] + offset;
        }
        inputBuffer = {nullptr, nullptr, kClapChannels, 0, 0};
        outputBuffer = {nullptr, nullptr, kClapChannels, 0, 0};
        if constexpr (sizeof(Sample) == sizeof(float)) {
            inputBuffer.Data32 = this->in;
            outputBuffer.Data32 = this->out;
        } else {
            inputBuffer.Data64 = this->in;
            outputBuffer.Data64 = this->out;
        }
    }

    template <class Inputs>
    void Fill(Inputs fill) {
        this->FillChannels(fill);
        outputBuffer.ConstantMask = 0;
    }

    const int offset;
    TClapAudioBuffer inputBuffer, outputBuffer;

private:
    int stride;
    std::vector<Sample> pool, separate;
};

// The shared byte stream as CLAP's input and output streams.
struct ClapStream : ByteStream {
    TClapIStream Input() {
        return {this, [](const TClapIStream* stream, void* buffer, std::uint64_t size) {
                    return static_cast<ClapStream*>(stream->Context)->Read(buffer, size);
                }};
    }
    TClapOStream Output() {
        return {this, [](const TClapOStream* stream, const void* buffer, std::uint64_t size) {
                    return static_cast<ClapStream*>(stream->Context)->Write(buffer, size);
                }};
    }
};

// One plug-in instance, created and initialised with its host, deactivated
// if need be and destroyed at the end.
class ClapInstance {
public:
    explicit ClapInstance(ClapTestHost& host)
        : host(host), plugin(ClapModule::Loaded().Factory().CreatePlugin(&ClapModule::Loaded().Factory(), host.Record(),
                                                                         kClapPluginId)) {
        if (!plugin || !plugin->Init(plugin)) {
            std::fprintf(stderr, "the factory made no plug-in\n");
            std::abort();
        }
        params = static_cast<const TClapPluginParams*>(plugin->GetExtension(plugin, kClapExtParams));
        state = static_cast<const TClapPluginState*>(plugin->GetExtension(plugin, kClapExtState));
        ports = static_cast<const TClapPluginAudioPorts*>(plugin->GetExtension(plugin, kClapExtAudioPorts));
        latency = static_cast<const TClapPluginLatency*>(plugin->GetExtension(plugin, kClapExtLatency));
    }
    ~ClapInstance() {
        if (active) Deactivate();
        plugin->Destroy(plugin);
    }
    ClapInstance(const ClapInstance&) = delete;
    ClapInstance& operator=(const ClapInstance&) = delete;

    bool Activate(double sampleRate = 48000.0, std::uint32_t maxFrames = 4096) {
        active = plugin->Activate(plugin, sampleRate, 1, maxFrames);
        return active;
    }
    void Deactivate() {
        plugin->Deactivate(plugin);
        active = false;
    }
    // Activated and processing, as a host starts a plug-in.
    void Start(std::uint32_t maxFrames = 4096) {
        Activate(48000.0, maxFrames);
        AudioThread([&] { plugin->StartProcessing(plugin); });
    }

    template <class Sample>
    std::int32_t Process(ClapAudio<Sample>& audio, const ClapEvents* events = nullptr,
                         const TClapEventTransport* transport = nullptr) {
        return Process(audio.inputBuffer, audio.outputBuffer, static_cast<std::uint32_t>(audio.frames), events,
                       transport);
    }
    std::int32_t Process(const TClapAudioBuffer& inputs, TClapAudioBuffer& outputs, std::uint32_t frames,
                         const ClapEvents* events = nullptr, const TClapEventTransport* transport = nullptr) {
        return ProcessPorts(&inputs, 1, &outputs, 1, frames, events, transport);
    }
    // Any number of ports each way, as a host may pass them.
    std::int32_t ProcessPorts(const TClapAudioBuffer* inputs, std::uint32_t inputCount, TClapAudioBuffer* outputs,
                              std::uint32_t outputCount, std::uint32_t frames, const ClapEvents* events = nullptr,
                              const TClapEventTransport* transport = nullptr) {
        static const ClapEvents none;
        process.SteadyTime = steadyTime;
        process.FramesCount = frames;
        process.Transport = transport;
        process.AudioInputs = inputs;
        process.AudioOutputs = outputs;
        process.AudioInputsCount = inputCount;
        process.AudioOutputsCount = outputCount;
        process.InEvents = (events ? events : &none)->List();
        process.OutEvents = &outputEvents.list;
        std::int32_t status = 0;
        AudioThread([&] { status = plugin->Process(plugin, &process); });
        steadyTime += frames;
        return status;
    }

    // From the audio thread while active, else from the main thread.
    void Flush(const ClapEvents& events) {
        if (active)
            AudioThread([&] { params->Flush(plugin, events.List(), &outputEvents.list); });
        else
            params->Flush(plugin, events.List(), &outputEvents.list);
    }

    double Value(TClapId id) const {
        double value = -1.0;
        return params->GetValue(plugin, id, &value) ? value : -1.0;
    }
    void Route(double value1, double value2) {
        ClapEvents events;
        events.Param(0, 0, value1).Param(0, 1, value2);
        Flush(events);
    }

    std::vector<std::uint8_t> Save(std::uint64_t step = std::numeric_limits<std::uint64_t>::max()) {
        ClapStream stream;
        stream.step = step;
        const TClapOStream output = stream.Output();
        return state->Save(plugin, &output) ? stream.bytes : std::vector<std::uint8_t>{};
    }
    bool Load(const std::vector<std::uint8_t>& bytes, std::uint64_t step = std::numeric_limits<std::uint64_t>::max(),
              std::size_t failAt = std::numeric_limits<std::size_t>::max()) {
        ClapStream stream{{bytes, 0, step, failAt}};
        const TClapIStream input = stream.Input();
        return state->Load(plugin, &input);
    }

    ClapTestHost& host;
    const TClapPlugin* plugin;
    const TClapPluginParams* params = nullptr;
    const TClapPluginState* state = nullptr;
    const TClapPluginAudioPorts* ports = nullptr;
    const TClapPluginLatency* latency = nullptr;
    ClapOutputEvents outputEvents;
    bool active = false;

private:
    // Marks the calling thread as the audio thread for the call.
    template <class Call>
    static void AudioThread(Call call) {
        const bool was = ClapTestHost::onAudioThread;
        ClapTestHost::onAudioThread = true;
        call();
        ClapTestHost::onAudioThread = was;
    }

    TClapProcess process{};
    std::int64_t steadyTime = 0;
};
