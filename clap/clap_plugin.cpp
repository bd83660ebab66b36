#include "clap_plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "vexil_text.h"

namespace {

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

// A port's channels in one precision; null where the host gave none.
template <class Sample>
Sample* const* Channels(const TClapAudioBuffer& buffer) {
    if constexpr (sizeof(Sample) == sizeof(float))
        return buffer.Data32;
    else
        return buffer.Data64;
}

template <class Sample>
void Silence(const TClapAudioBuffer& buffer, std::uint32_t frames) {
    Sample* const* channels = Channels<Sample>(buffer);
    if (!channels) return;
    for (std::uint32_t c = 0; c < buffer.ChannelCount; ++c)
        if (channels[c]) std::fill_n(channels[c], frames, Sample(0));
}

// Channels from 2 on are silent throughout, those past the plug-in's too.
std::uint64_t SilentChannels(std::uint32_t channels, std::uint32_t from) {
    const std::uint64_t all = channels >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << channels) - 1;
    const std::uint64_t below = from >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << from) - 1;
    return all & ~below;
}

// Whether a side of a process call is the port as described, in this
// precision: one port of 16 channels, all given.
template <class Sample>
bool AsDescribed(const TClapAudioBuffer* ports, std::uint32_t count) {
    if (count != 1 || !ports || ports->ChannelCount != kChannels) return false;
    Sample* const* channels = Channels<Sample>(*ports);
    return channels && std::all_of(channels, channels + kChannels, [](const Sample* c) { return c != nullptr; });
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
        self->Log(kClapLogHostMisbehaving, "destroyed while active");
        Deactivate(plugin);
    }
    delete self;
}

bool CClapPlugin::Activate(const TClapPlugin* plugin, double sampleRate, std::uint32_t, std::uint32_t maxFrames) {
    CClapPlugin& self = Self(plugin);
    constexpr std::uint32_t kMostFrames = std::numeric_limits<std::int32_t>::max();
    self.Patcher.Activate(sampleRate, static_cast<std::int32_t>(std::min(maxFrames, kMostFrames)));
    self.IrregularCall = false;
    self.IrregularCallLogged = false;
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
    self.LogIrregularCall();
}

bool CClapPlugin::StartProcessing(const TClapPlugin* plugin) { return Self(plugin).Active; }

void CClapPlugin::StopProcessing(const TClapPlugin*) {}

// The routing keeps nothing from one frame to the next.
void CClapPlugin::Reset(const TClapPlugin*) {}

void CClapPlugin::OnMainThread(const TClapPlugin* plugin) { Self(plugin).LogIrregularCall(); }

std::int32_t CClapPlugin::Process(const TClapPlugin* plugin, const TClapProcess* process) {
    CClapPlugin& self = Self(plugin);
    if (!process) return kClapProcessError;
    if (!self.Active) {
        // No audio to render: the parameter changes still count.
        self.ApplyEvents(process->InEvents);
        return kClapProcessError;
    }
    if (process->FramesCount == 0) {
        self.ApplyEvents(process->InEvents);
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
    if (!AsDescribed<Sample>(process.AudioInputs, process.AudioInputsCount) ||
        !AsDescribed<Sample>(process.AudioOutputs, process.AudioOutputsCount))
        NoteIrregularCall();
    // Ports past the one described get silence.
    for (std::uint32_t p = 1; out && p < process.AudioOutputsCount; ++p) {
        Silence<Sample>(out[p], frames);
        out[p].ConstantMask = SilentChannels(out[p].ChannelCount, 0);
    }
    TPatcherTransport transport;
    auto block = Patcher.BeginBlock<Sample>(PatcherTransport(process.Transport, transport),
                                            in ? Channels<Sample>(*in) : nullptr, in ? in->ChannelCount : 0,
                                            out ? Channels<Sample>(*out) : nullptr, out ? out->ChannelCount : 0,
                                            frames);
    const TClapInputEvents* events = process.InEvents;
    const std::uint32_t count = events && events->Size && events->Get ? events->Size(events) : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const TClapEventParamValue* event = ParamValueEvent(events->Get(events, i));
        if (!event) continue;
        block.RenderUntil(event->Header.Time);
        Patcher.SetParameterValue(static_cast<std::int32_t>(event->ParamId), Stepped(event->Value));
    }
    block.Finish();
    if (out) out->ConstantMask = SilentChannels(out->ChannelCount, 2);
    return kClapProcessContinueIfNotQuiet;
}

void CClapPlugin::NoteIrregularCall() {
    if (IrregularCall.exchange(true)) return;
    if (Host && Host->RequestCallback) Host->RequestCallback(Host);
}

void CClapPlugin::LogIrregularCall() {
    if (!IrregularCall.load() || IrregularCallLogged) return;
    IrregularCallLogged = true;
    Log(kClapLogHostMisbehaving,
        "processed with audio other than one port of 16 channels each way, in one precision: "
        "the channels given were written, those missing were read as silence");
}

void CClapPlugin::ApplyEvents(const TClapInputEvents* events) {
    const std::uint32_t count = events && events->Size && events->Get ? events->Size(events) : 0;
    for (std::uint32_t i = 0; i < count; ++i)
        if (const TClapEventParamValue* event = ParamValueEvent(events->Get(events, i)))
            Patcher.SetParameterValue(static_cast<std::int32_t>(event->ParamId), Stepped(event->Value));
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
    return CPatcherPlugin::ValueText(static_cast<std::int32_t>(id), Stepped(value), text, capacity);
}

bool CClapPlugin::TextToValue(const TClapPlugin*, TClapId id, const char* text, double* value) {
    if (!KnownParam(id) || !text || !value) return false;
    // Longer than any of the texts: refused unread past this.
    constexpr std::size_t kLongestText = 64;
    // A parameter of numbers would copy the text.
    try {
        return CPatcherPlugin::TextValue(static_cast<std::int32_t>(id), ReadText(text, kLongestText), *value);
    } catch (...) {
        return false;
    }
}

void CClapPlugin::Flush(const TClapPlugin* plugin, const TClapInputEvents* in, const TClapOutputEvents*) {
    Self(plugin).ApplyEvents(in);
}

bool CClapPlugin::SaveState(const TClapPlugin* plugin, const TClapOStream* stream) {
    CClapPlugin& self = Self(plugin);
    if (!stream || !stream->Write) return false;
    const std::uint8_t* bytes = nullptr;
    std::size_t left;
    // The chunk is rebuilt at each save and may need memory (after a short
    // chunk was loaded, say): without it there is no state to give.
    try {
        left = self.Patcher.SaveState(bytes);
    } catch (...) {
        return false;
    }
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
    } catch (...) {
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
