#include "clap_plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "patcher_kit.h"

namespace {

using patcher_kit::ChannelMask;

constexpr std::int32_t kChannels = CPatcherPlugin::kChannels;
// One input port and one output port, each the other's in-place pair.
constexpr TClapId kMainPort = 0;

bool KnownParam(TClapId id) { return id < static_cast<std::uint32_t>(CPatcherPlugin::ParameterCount()); }

// A parameter value event of the core space, whole; null for any other event.
const TClapEventParamValue* ParamValueEvent(const TClapEventHeader* header) {
    if (!header || header->SpaceId != kClapCoreEventSpaceId || header->Type != kClapEventParamValue ||
        header->Size < sizeof(TClapEventParamValue))
        return nullptr;
    const auto* event = reinterpret_cast<const TClapEventParamValue*>(header);
    return KnownParam(event->ParamId) ? event : nullptr;
}

// CLAP makes a stepped parameter's value whole by truncation, in events
// as in the host's text and value queries; held within the range later.
double Stepped(double value) { return std::trunc(value); }

// The parameter changes of an event list, in its order.
class CClapChanges {
public:
    explicit CClapChanges(const TClapInputEvents* events)
        : Events(events), Count(events && events->Size && events->Get ? events->Size(events) : 0) {}

    bool Empty() const { return Count == 0; }

    bool operator()(TPatcherChange& change) {
        while (Next < Count)
            if (const TClapEventParamValue* event = ParamValueEvent(Events->Get(Events, Next++))) {
                change = {static_cast<std::int32_t>(event->ParamId), event->Header.Time, Stepped(event->Value)};
                return true;
            }
        return false;
    }

private:
    const TClapInputEvents* Events;
    std::uint32_t Count;
    std::uint32_t Next = 0;
};

// A port's channels in one precision; null where the host gave none.
template <class Sample>
Sample* const* Channels(const TClapAudioBuffer& buffer) {
    return patcher_kit::Channels<Sample>(buffer.Data32, buffer.Data64);
}

template <class Sample>
void Silence(const TClapAudioBuffer& buffer, std::uint32_t frames) {
    patcher_kit::Silence(Channels<Sample>(buffer), buffer.ChannelCount, frames);
}

}  // namespace

const TPatcherTransport* PatcherTransport(const TClapEventTransport* clap, TPatcherTransport& transport) {
    if (!clap) return nullptr;
    static constexpr patcher_kit::TTransportFlags kFlags = {kClapTransportHasTempo, kClapTransportHasTimeSignature,
                                                            kClapTransportHasBeatsTimeline, kClapTransportIsPlaying,
                                                            kClapTransportIsRecording};
    transport = patcher_kit::Transport(
        clap->Flags, kFlags, clap->Tempo, clap->TimeSigNumerator, clap->TimeSigDenominator,
        static_cast<double>(clap->SongPosBeats) / static_cast<double>(kClapBeatTimeFactor));
    return &transport;
}

const TClapPluginDescriptor& CClapPlugin::Descriptor() {
    static const char* const features[] = {kClapFeatureAudioEffect, kClapFeatureUtility, nullptr};
    static const TClapPluginDescriptor descriptor = {
        kClapVersion,
        kId,
        CPatcherPlugin::Name().c_str(),
        CPatcherPlugin::Vendor().c_str(),
        "",
        "",
        "",
        CPatcherPlugin::Version(),
        "Puts any one of 16 input channels, or silence, on each of outputs 1 and 2; outputs 3 to 16 stay silent",
        features,
    };
    return descriptor;
}

const TClapPlugin* CClapPlugin::Create(const TClapHost* host) {
    // The instance and, on first use, the descriptor and the effect's
    // description all allocate; nothing thrown may reach the host.
    try {
        return &(new CClapPlugin(host))->Record;
    } catch (...) {
        return nullptr;
    }
}

CClapPlugin::CClapPlugin(const TClapHost* host)
    : Record{&Descriptor(), this,     Init,    Destroy,      Activate,     Deactivate,
             StartProcessing, StopProcessing, Reset, Process, GetExtension, OnMainThread},
      Host(host) {}

CClapPlugin& CClapPlugin::Self(const TClapPlugin* plugin) { return *static_cast<CClapPlugin*>(plugin->PluginData); }

bool CClapPlugin::Init(const TClapPlugin* plugin) {
    CClapPlugin& self = Self(plugin);
    const TClapHost* host = self.Host;
    if (!host || !host->GetExtension) return true;
    self.HostLog = static_cast<const TClapHostLog*>(host->GetExtension(host, kClapExtLog));
    self.HostParams = static_cast<const TClapHostParams*>(host->GetExtension(host, kClapExtParams));
    self.HostLatency = static_cast<const TClapHostLatency*>(host->GetExtension(host, kClapExtLatency));
    self.HostThreadCheck = static_cast<const TClapHostThreadCheck*>(host->GetExtension(host, kClapExtThreadCheck));
    return true;
}

void CClapPlugin::Destroy(const TClapPlugin* plugin) {
    CClapPlugin* self = &Self(plugin);
    if (self->Active) {
        self->Reporter.Mark(TPatcherMisbehaviour::WrongState);
        self->Report();
        Deactivate(plugin);
    }
    delete self;
}

bool CClapPlugin::Activate(const TClapPlugin* plugin, double sampleRate, std::uint32_t, std::uint32_t maxFrames) {
    CClapPlugin& self = Self(plugin);
    constexpr std::uint32_t kMostFrames = std::numeric_limits<std::int32_t>::max();
    self.Patcher.Activate(sampleRate, static_cast<std::int32_t>(std::min(maxFrames, kMostFrames)));
    self.Reporter.Rearm();
    self.Active = true;
    // Activation is the one time a host takes a latency change without a restart.
    const std::int32_t latency = self.Patcher.Latency();
    if (latency != self.AnnouncedLatency && self.HostLatency && self.HostLatency->Changed && self.OnHostMainThread()) {
        self.HostLatency->Changed(self.Host);
        self.AnnouncedLatency = latency;
    }
    return true;
}

void CClapPlugin::Deactivate(const TClapPlugin* plugin) {
    CClapPlugin& self = Self(plugin);
    if (!self.Active) return;
    self.Patcher.Deactivate();
    self.Active = false;
    self.Report();
}

bool CClapPlugin::StartProcessing(const TClapPlugin* plugin) { return Self(plugin).Active; }

void CClapPlugin::StopProcessing(const TClapPlugin*) {}

// The routing keeps nothing from one frame to the next.
void CClapPlugin::Reset(const TClapPlugin*) {}

void CClapPlugin::OnMainThread(const TClapPlugin* plugin) { Self(plugin).Report(); }

std::int32_t CClapPlugin::Process(const TClapPlugin* plugin, const TClapProcess* process) {
    CClapPlugin& self = Self(plugin);
    if (!process) return kClapProcessError;
    if (!self.Active) {
        // No audio to render: the parameter changes still count.
        self.Patcher.ApplyChanges(CClapChanges(process->InEvents));
        return kClapProcessError;
    }
    if (process->FramesCount == 0) {
        self.Patcher.ApplyChanges(CClapChanges(process->InEvents));
        return kClapProcessContinue;
    }
    // The outputs decide the precision; a host that offers both gets single.
    const TClapAudioBuffer* out = process->AudioOutputsCount > 0 ? process->AudioOutputs : nullptr;
    const TClapAudioBuffer* in = process->AudioInputsCount > 0 ? process->AudioInputs : nullptr;
    const TClapAudioBuffer* decides = out ? out : in;
    if (decides && !decides->Data32 && decides->Data64) return self.Render<double>(*process);
    return self.Render<float>(*process);
}

template <class Sample>
std::int32_t CClapPlugin::Render(const TClapProcess& process) {
    const std::uint32_t frames = process.FramesCount;
    const TClapAudioBuffer* in = process.AudioInputsCount > 0 ? process.AudioInputs : nullptr;
    TClapAudioBuffer* out = process.AudioOutputsCount > 0 ? process.AudioOutputs : nullptr;
    // Ports past the one described get silence.
    for (std::uint32_t p = 1; out && p < process.AudioOutputsCount; ++p) {
        Silence<Sample>(out[p], frames);
        out[p].ConstantMask = ChannelMask(0, out[p].ChannelCount);
    }
    TPatcherTransport transport;
    CClapChanges changes(process.InEvents);
    const TPatcherProcessed processed = Patcher.Process<Sample>(
        PatcherTransport(process.Transport, transport), in ? Channels<Sample>(*in) : nullptr,
        in ? in->ChannelCount : 0, out ? Channels<Sample>(*out) : nullptr, out ? out->ChannelCount : 0, frames,
        changes.Empty() ? TPatcherChanges{} : TPatcherChanges::From(changes), in ? in->ConstantMask : 0);
    // Described: one port of 16 channels each way, all of them given in this precision.
    if (process.AudioInputsCount != 1 || process.AudioOutputsCount != 1 || !in || !out ||
        in->ChannelCount != kChannels || out->ChannelCount != kChannels || !processed.AllChannelsGiven)
        Note(TPatcherMisbehaviour::BufferLayout);
    if (out) out->ConstantMask = processed.SilentOutputs;
    return kClapProcessContinueIfNotQuiet;
}

void CClapPlugin::Note(TPatcherMisbehaviour kind) {
    if (Reporter.Mark(kind) && Host && Host->RequestCallback) Host->RequestCallback(Host);
}

void CClapPlugin::Report() {
    Reporter.Flush([this](TPatcherMisbehaviour kind) {
        switch (kind) {
        case TPatcherMisbehaviour::BufferLayout:
            Log(kClapLogHostMisbehaving,
                "processed with audio other than one port of 16 channels each way, in one precision: "
                "the channels given were written, those missing were read as silence");
            break;
        case TPatcherMisbehaviour::WrongState:
            Log(kClapLogHostMisbehaving, "destroyed while active");
            break;
        case TPatcherMisbehaviour::StreamFailure:
            Log(kClapLogError, StreamFailure);
            break;
        case TPatcherMisbehaviour::WrongThread:
        case TPatcherMisbehaviour::OutOfRange:
            break;
        }
    });
}

const void* CClapPlugin::GetExtension(const TClapPlugin*, const char* id) {
    static constexpr TClapPluginAudioPorts audioPorts = {PortCount, PortInfo};
    static constexpr TClapPluginParams params = {ParamCount, ParamInfo,   ParamValue,
                                                 ValueToText, TextToValue, Flush};
    static constexpr TClapPluginState state = {SaveState, LoadState};
    static constexpr TClapPluginLatency latency = {Latency};
    if (!id) return nullptr;
    if (std::strcmp(id, kClapExtAudioPorts) == 0) return &audioPorts;
    if (std::strcmp(id, kClapExtParams) == 0) return &params;
    if (std::strcmp(id, kClapExtState) == 0) return &state;
    if (std::strcmp(id, kClapExtLatency) == 0) return &latency;
    return nullptr;
}

std::uint32_t CClapPlugin::PortCount(const TClapPlugin*, bool) { return 1; }

bool CClapPlugin::PortInfo(const TClapPlugin*, std::uint32_t index, bool isInput, TClapAudioPortInfo* info) {
    if (index != 0 || !info) return false;
    info->Id = kMainPort;
    patcher_kit::CopyText(info->Name, sizeof info->Name, isInput ? "16 inputs" : "16 outputs");
    info->Flags = kClapAudioPortIsMain | kClapAudioPortSupports64Bits | kClapAudioPortRequiresCommonSampleSize;
    info->ChannelCount = kChannels;
    info->PortType = "";
    info->InPlacePair = kMainPort;
    return true;
}

std::uint32_t CClapPlugin::ParamCount(const TClapPlugin*) {
    return static_cast<std::uint32_t>(CPatcherPlugin::ParameterCount());
}

bool CClapPlugin::ParamInfo(const TClapPlugin*, std::uint32_t index, TClapParamInfo* info) {
    if (!KnownParam(index) || !info) return false;
    const TPatcherParameter& parameter = *CPatcherPlugin::ParameterInfo(static_cast<std::int32_t>(index));
    info->Id = index;
    info->Flags = kClapParamIsStepped | kClapParamIsAutomatable | kClapParamIsEnum;
    info->Cookie = nullptr;
    patcher_kit::CopyText(info->Name, sizeof info->Name, parameter.Name);
    patcher_kit::CopyText(info->Module, sizeof info->Module, "");
    info->MinValue = parameter.Min;
    info->MaxValue = parameter.Max;
    info->DefaultValue = parameter.Default;
    return true;
}

bool CClapPlugin::ParamValue(const TClapPlugin* plugin, TClapId id, double* value) {
    if (!KnownParam(id) || !value) return false;
    *value = Self(plugin).Patcher.ParameterValue(static_cast<std::int32_t>(id));
    return true;
}

bool CClapPlugin::ValueToText(const TClapPlugin*, TClapId id, double value, char* text, std::uint32_t capacity) {
    if (!KnownParam(id) || !text || capacity == 0) return false;
    return CPatcherPlugin::ValueText(static_cast<std::int32_t>(id), Stepped(value), text, capacity);
}

bool CClapPlugin::TextToValue(const TClapPlugin*, TClapId id, const char* text, double* value) {
    if (!KnownParam(id) || !text || !value) return false;
    char typed[CPatcherPlugin::kLongestText];
    std::size_t length;
    return patcher_kit::ReadText(text, typed, sizeof typed, length) &&
           CPatcherPlugin::TextValue(static_cast<std::int32_t>(id), {typed, length}, *value);
}

void CClapPlugin::Flush(const TClapPlugin* plugin, const TClapInputEvents* in, const TClapOutputEvents*) {
    Self(plugin).Patcher.ApplyChanges(CClapChanges(in));
}

bool CClapPlugin::SaveState(const TClapPlugin* plugin, const TClapOStream* stream) {
    CClapPlugin& self = Self(plugin);
    if (!stream || !stream->Write) return false;
    const TPatcherStateResult result = self.Patcher.SaveStateTo(
        [stream](const std::uint8_t* bytes, std::size_t count) { return stream->Write(stream, bytes, count); });
    if (result == TPatcherStateResult::StreamFailed) self.NoteStreamFailure("state not saved: the stream took no more");
    return result == TPatcherStateResult::Done;
}

bool CClapPlugin::LoadState(const TClapPlugin* plugin, const TClapIStream* stream) {
    CClapPlugin& self = Self(plugin);
    if (!stream || !stream->Read) return false;
    const TPatcherStateResult result = self.Patcher.LoadStateFrom(
        [stream](std::uint8_t* bytes, std::size_t count) { return stream->Read(stream, bytes, count); });
    if (result == TPatcherStateResult::StreamFailed) {
        self.NoteStreamFailure("state not loaded: the stream failed");
        return false;
    }
    if (result != TPatcherStateResult::Done) {
        self.Log(kClapLogWarning, "state not loaded: it is not one of this plug-in's");
        return false;
    }
    if (self.HostParams && self.HostParams->Rescan && self.OnHostMainThread())
        self.HostParams->Rescan(self.Host, kClapParamRescanValues);
    return true;
}

void CClapPlugin::NoteStreamFailure(const char* what) {
    StreamFailure = what;
    Reporter.Mark(TPatcherMisbehaviour::StreamFailure);
    Report();
}

std::uint32_t CClapPlugin::Latency(const TClapPlugin* plugin) {
    return static_cast<std::uint32_t>(std::max(Self(plugin).Patcher.Latency(), 0));
}

bool CClapPlugin::OnHostMainThread() const {
    return !HostThreadCheck || !HostThreadCheck->IsMainThread || HostThreadCheck->IsMainThread(Host);
}

void CClapPlugin::Log(std::int32_t severity, const char* message) const {
    if (HostLog && HostLog->Log) HostLog->Log(Host, severity, message);
}
