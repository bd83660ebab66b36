#include "clap_plugin.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "vexil_text.h"

namespace {

constexpr std::int32_t kChannels = CPatcherPlugin::kChannels;
// Outputs 3 to 16 carry zeros throughout every block.
constexpr std::uint64_t kSilentOutputs = ((std::uint64_t{1} << kChannels) - 1) & ~std::uint64_t{3};
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

// The port's 16 channels in this precision, or null when the buffer is not
// the port as described.
template <class Sample>
Sample* const* Channels(const TClapAudioBuffer* buffer, std::uint32_t count) {
    if (count != 1 || !buffer || buffer->ChannelCount != kChannels) return nullptr;
    Sample* const* channels;
    if constexpr (sizeof(Sample) == sizeof(float))
        channels = buffer->Data32;
    else
        channels = buffer->Data64;
    if (!channels) return nullptr;
    for (std::int32_t c = 0; c < kChannels; ++c)
        if (!channels[c]) return nullptr;
    return channels;
}

}  // namespace

const TPatcherTransport* PatcherTransport(const TClapEventTransport* clap, TPatcherTransport& transport) {
    if (!clap) return nullptr;
    transport.HasTempo = clap->Flags & kClapTransportHasTempo;
    transport.Tempo = clap->Tempo;
    transport.HasTimeSignature = clap->Flags & kClapTransportHasTimeSignature;
    transport.TimeSigNumerator = clap->TimeSigNumerator;
    transport.TimeSigDenominator = clap->TimeSigDenominator;
    transport.HasPosition = clap->Flags & kClapTransportHasBeatsTimeline;
    transport.QuarterNotes = static_cast<double>(clap->SongPosBeats) / static_cast<double>(kClapBeatTimeFactor);
    transport.Playing = clap->Flags & kClapTransportIsPlaying;
    transport.Recording = clap->Flags & kClapTransportIsRecording;
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
    try {
        return &(new CClapPlugin(host))->Record;
    } catch (const std::bad_alloc&) {
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
        self->Log(kClapLogHostMisbehaving, "destroyed while active");
        Deactivate(plugin);
    }
    delete self;
}

bool CClapPlugin::Activate(const TClapPlugin* plugin, double sampleRate, std::uint32_t, std::uint32_t maxFrames) {
    CClapPlugin& self = Self(plugin);
    constexpr std::uint32_t kMostFrames = std::numeric_limits<std::int32_t>::max();
    self.Patcher.Activate(sampleRate, static_cast<std::int32_t>(std::min(maxFrames, kMostFrames)));
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
}

bool CClapPlugin::StartProcessing(const TClapPlugin* plugin) { return Self(plugin).Active; }

void CClapPlugin::StopProcessing(const TClapPlugin*) {}

// The routing keeps nothing from one frame to the next.
void CClapPlugin::Reset(const TClapPlugin*) {}

void CClapPlugin::OnMainThread(const TClapPlugin*) {}

std::int32_t CClapPlugin::Process(const TClapPlugin* plugin, const TClapProcess* process) {
    CClapPlugin& self = Self(plugin);
    if (!process) return kClapProcessError;
    if (self.Active) {
        TPatcherTransport transport;
        const TPatcherTransport* time = PatcherTransport(process->Transport, transport);
        const auto* in = process->AudioInputs;
        const auto* out = process->AudioOutputs;
        const std::uint32_t ins = process->AudioInputsCount, outs = process->AudioOutputsCount;
        // A host that offers both precisions on every port gets single precision back.
        float* const* inputs32 = Channels<float>(in, ins);
        float* const* outputs32 = Channels<float>(out, outs);
        if (inputs32 && outputs32) return self.Render(*process, time, inputs32, outputs32);
        double* const* inputs64 = Channels<double>(in, ins);
        double* const* outputs64 = Channels<double>(out, outs);
        if (inputs64 && outputs64) return self.Render(*process, time, inputs64, outputs64);
    }
    // No audio to render: the parameter changes still count.
    self.ApplyEvents(process->InEvents);
    return kClapProcessError;
}

template <class Sample>
std::int32_t CClapPlugin::Render(const TClapProcess& process, const TPatcherTransport* transport,
                                 Sample* const* inputs, Sample* const* outputs) {
    auto block = Patcher.BeginBlock<Sample>(transport, inputs, outputs, process.FramesCount);
    const TClapInputEvents* events = process.InEvents;
    const std::uint32_t count = events && events->Size && events->Get ? events->Size(events) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const TClapEventParamValue* event = ParamValueEvent(events->Get(events, i));
        if (!event) continue;
        block.RenderUntil(event->Header.Time);
        Patcher.SetParameterValue(static_cast<std::int32_t>(event->ParamId), event->Value);
    }
    block.Finish();
    process.AudioOutputs->ConstantMask = kSilentOutputs;
    return kClapProcessContinueIfNotQuiet;
}

void CClapPlugin::ApplyEvents(const TClapInputEvents* events) {
    const std::uint32_t count = events && events->Size && events->Get ? events->Size(events) : 0;
    for (std::uint32_t i = 0; i < count; ++i)
        if (const TClapEventParamValue* event = ParamValueEvent(events->Get(events, i)))
            Patcher.SetParameterValue(static_cast<std::int32_t>(event->ParamId), event->Value);
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
    CopyText(info->Name, sizeof info->Name, isInput ? "16 inputs" : "16 outputs");
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
    const TVexilSlider& slider = *CPatcherPlugin::Parameter(static_cast<std::int32_t>(index));
    info->Id = index;
    info->Flags = kClapParamIsStepped | kClapParamIsAutomatable | kClapParamIsEnum;
    info->Cookie = nullptr;
    CopyText(info->Name, sizeof info->Name, slider.Name);
    CopyText(info->Module, sizeof info->Module, "");
    info->MinValue = slider.Min;
    info->MaxValue = slider.Max;
    info->DefaultValue = slider.Default;
    return true;
}

bool CClapPlugin::ParamValue(const TClapPlugin* plugin, TClapId id, double* value) {
    if (!KnownParam(id) || !value) return false;
    *value = Self(plugin).Patcher.ParameterValue(static_cast<std::int32_t>(id));
    return true;
}

bool CClapPlugin::ValueToText(const TClapPlugin*, TClapId id, double value, char* text, std::uint32_t capacity) {
    if (!KnownParam(id) || !text || capacity == 0) return false;
    return CPatcherPlugin::ValueText(static_cast<std::int32_t>(id), value, text, capacity);
}

bool CClapPlugin::TextToValue(const TClapPlugin*, TClapId id, const char* text, double* value) {
    if (!KnownParam(id) || !text || !value) return false;
    // Longer than any of the texts: refused unread past this.
    constexpr std::size_t kLongestText = 64;
    return CPatcherPlugin::TextValue(static_cast<std::int32_t>(id), ReadText(text, kLongestText), *value);
}

void CClapPlugin::Flush(const TClapPlugin* plugin, const TClapInputEvents* in, const TClapOutputEvents*) {
    Self(plugin).ApplyEvents(in);
}

bool CClapPlugin::SaveState(const TClapPlugin* plugin, const TClapOStream* stream) {
    CClapPlugin& self = Self(plugin);
    if (!stream || !stream->Write) return false;
    const std::uint8_t* bytes = nullptr;
    std::size_t left = self.Patcher.SaveState(bytes);
    while (left > 0) {
        const std::int64_t written = stream->Write(stream, bytes, left);
        if (written <= 0 || static_cast<std::uint64_t>(written) > left) {
            self.Log(kClapLogError, "state not saved: the stream took no more");
            return false;
        }
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

bool CClapPlugin::LoadState(const TClapPlugin* plugin, const TClapIStream* stream) {
    CClapPlugin& self = Self(plugin);
    if (!stream || !stream->Read) return false;
    std::uint8_t chunk[CPatcherPlugin::kStateBytes];
    std::size_t count = 0;
    while (count < sizeof chunk) {
        const std::int64_t read = stream->Read(stream, chunk + count, sizeof chunk - count);
        if (read == 0) break;
        if (read < 0 || static_cast<std::uint64_t>(read) > sizeof chunk - count) {
            self.Log(kClapLogError, "state not loaded: the stream failed");
            return false;
        }
        count += static_cast<std::size_t>(read);
    }
    bool loaded;
    try {
        loaded = self.Patcher.LoadState(chunk, count);
    } catch (const std::bad_alloc&) {
        loaded = false;
    }
    if (!loaded) {
        self.Log(kClapLogWarning, "state not loaded: it is not one of this plug-in's");
        return false;
    }
    if (self.HostParams && self.HostParams->Rescan && self.OnHostMainThread())
        self.HostParams->Rescan(self.Host, kClapParamRescanValues);
    return true;
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
