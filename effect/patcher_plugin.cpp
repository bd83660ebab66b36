#include "patcher_plugin.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "patcher_effect.h"
#include "patcher_kit.h"
#include "relaxed.h"
#include "script_index.h"

#ifndef MULTICHANNEL_PATCHER_VERSION
#error "the build defines MULTICHANNEL_PATCHER_VERSION"
#endif

namespace {

static_assert(CPatcherPlugin::kChannels == TVexilEffect::kChannels);
static_assert(CPatcherPlugin::kStateBytes == (1 + TVexilEffect::kSerializedSliders) * sizeof(float));

// A description to read names and parameters from: never opened, never processed.
const TVexilEffect& Description() {
    static const TVexilEffect effect;
    return effect;
}

// The sliders as hosts are told of them, built once with the description.
const std::vector<TPatcherParameter>& Parameters() {
    static const std::vector<TPatcherParameter> parameters = [] {
        std::vector<TPatcherParameter> made;
        for (const TVexilSlider& slider : Description().Sliders)
            made.push_back({slider.Name, slider.Min, slider.Max, slider.Default, slider.Step, slider.Enums});
        return made;
    }();
    return parameters;
}

std::uintptr_t Distance(const void* a, const void* b) {
    const auto x = reinterpret_cast<std::uintptr_t>(a), y = reinterpret_cast<std::uintptr_t>(b);
    return x > y ? x - y : y - x;
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view LastWord(std::string_view text) {
    const std::size_t space = text.find_last_of(' ');
    return space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

}  // namespace

// The effect and what the runtime's host questions read, from any thread.
struct CPatcherPlugin::TRuntime {
    TVexilEffect Effect;
    Relaxed<double> SampleRate = 0.0;
    Relaxed<std::int32_t> MaxFrames = 0;
    // The transport of the block section being run, read where the section
    // asks for it rather than copied before: null outside it, and for a
    // block without one.
    Relaxed<const TPatcherTransport*> Transport = nullptr;
    Relaxed<std::int32_t> ReportedLatency = 0;
};

// The runtime's host questions, answered from what the adapter handed over.
struct TPatcherHostServices {
    using TRuntime = CPatcherPlugin::TRuntime;
    static TRuntime& Plugin(void* host) { return *static_cast<TRuntime*>(host); }

    static std::int32_t InputCount(void* host) { return host ? CPatcherPlugin::kChannels : 0; }
    static double SampleRate(void* host) { return host ? Plugin(host).SampleRate.load() : 0.0; }
    static std::int32_t BlockSize(void* host) { return host ? Plugin(host).MaxFrames.load() : 0; }
    static const TPatcherTransport* Transport(void* host) { return host ? Plugin(host).Transport.load() : nullptr; }
    static double Tempo(void* host) {
        const TPatcherTransport* transport = Transport(host);
        return transport && transport->HasTempo ? transport->Tempo : 0.0;
    }
    static std::int32_t Playing(void* host) {
        const TPatcherTransport* transport = Transport(host);
        return transport && transport->Playing;
    }
    static std::int32_t Recording(void* host) {
        const TPatcherTransport* transport = Transport(host);
        return transport && transport->Recording;
    }
    static double PlayPosition(void* host) {
        const TPatcherTransport* transport = Transport(host);
        return transport && transport->HasPosition ? transport->QuarterNotes : 0.0;
    }
    // As a VST 2 host without time information answers: 0, outputs untouched.
    static std::int32_t TempoAndTimeSig(void* host, double* tempo, double* numerator, double* denominator) {
        const TPatcherTransport* transport = Transport(host);
        if (!transport) return 0;
        if (tempo && transport->HasTempo) *tempo = transport->Tempo;
        if (transport->HasTimeSignature) {
            if (numerator) *numerator = transport->TimeSigNumerator;
            if (denominator) *denominator = transport->TimeSigDenominator;
        }
        return 1;
    }
    // The hosts of these formats read parameter values when they show them.
    static bool UpdateDisplay(void*) { return false; }
    static std::int32_t SetLatency(void* host, std::int32_t samples) {
        if (!host) return 0;
        Plugin(host).ReportedLatency = samples;
        return 1;
    }
    // The state is always one chunk.
    static std::int32_t ChunkFlag(void* host, bool) { return host ? 1 : 0; }

    static constexpr TVexilHostServices kTable = {
        InputCount,   SampleRate,      BlockSize,     Tempo,      Playing,   Recording,
        PlayPosition, TempoAndTimeSig, UpdateDisplay, SetLatency, ChunkFlag,
    };
};

const std::string& CPatcherPlugin::Name() { return Description().EffectName; }
const std::string& CPatcherPlugin::Vendor() { return Description().VendorName; }
const char* CPatcherPlugin::Version() { return MULTICHANNEL_PATCHER_VERSION; }

std::int32_t CPatcherPlugin::ParameterCount() { return static_cast<std::int32_t>(Description().Sliders.size()); }


const TPatcherParameter* CPatcherPlugin::ParameterInfo(std::int32_t index) {
    const auto& parameters = Parameters();
    return index >= 0 && static_cast<std::size_t>(index) < parameters.size() ? &parameters[static_cast<std::size_t>(index)]
                                                                            : nullptr;
}

bool CPatcherPlugin::ValueText(std::int32_t index, double value, char* text, std::size_t size) {
    const TVexilSlider* slider = Description().SliderRecord(index);
    if (!slider || !std::isfinite(value)) return false;
    SliderDisplay(*slider, SliderQuantized(*slider, value), text, size);
    return true;
}

bool CPatcherPlugin::TextValue(std::int32_t index, std::string_view text, double& value) {
    const TVexilSlider* slider = Description().SliderRecord(index);
    if (!slider) return false;
    // A parameter of numbers would copy the text.
    try {
        if (SliderFromText(*slider, text, value)) return true;
    } catch (...) {
        return false;
    }
    // What a user types into a host's field: a choice's name in any case, or
    // the number that ends exactly one name, give or take white space.
    const std::string_view typed = Trimmed(text);
    const bool number = !typed.empty() && typed.front() != '0' &&
                        std::all_of(typed.begin(), typed.end(), [](char c) { return c >= '0' && c <= '9'; });
    const std::string* named = nullptr;
    for (const std::string& name : slider->Enums) {
        const std::string_view candidate = number ? LastWord(name) : std::string_view(name);
        if (!SameLetters(candidate, typed)) continue;
        if (named) return false;
        named = &name;
    }
    try {
        return named && SliderFromText(*slider, *named, value);
    } catch (...) {
        return false;
    }
}

CPatcherPlugin::CPatcherPlugin() : Runtime(std::make_unique<TRuntime>()) {
    TVexilEffect& effect = Runtime->Effect;
    effect.AttachHost(Runtime.get(), &TPatcherHostServices::kTable);
    effect.DoOpen();
    // Opening zeroes the effect's variables, the routing among them: take
    // the sliders, so that the routing follows them before any activation.
    effect.DoSlider();
}

CPatcherPlugin::~CPatcherPlugin() = default;

const TVexilEffect& CPatcherPlugin::GetEffect() const { return Runtime->Effect; }

std::int32_t CPatcherPlugin::Latency() const { return Runtime->ReportedLatency; }

void CPatcherPlugin::Activate(double sampleRate, std::int32_t maxFrames) {
    Runtime->SampleRate = sampleRate;
    Runtime->MaxFrames = std::max(maxFrames, 0);
    const std::int32_t staging = std::clamp(maxFrames, kDefaultStagingFrames, kMaxStagingFrames);
    if (staging > StagingFrames) {
        // The copies are left unwritten: only partly overlapping buffers ever
        // touch them. Short
        // of memory, the instance keeps what it had rather than failing its
        // host's activation: such buffers then go in frame order.
        const std::size_t stretch = static_cast<std::size_t>(staging) * sizeof(double);
        std::unique_ptr<std::byte[]> grown(new (std::nothrow) std::byte[stretch * (kChannels + 2)]);
        if (grown) {
            std::memset(grown.get() + stretch * kChannels, 0, stretch);
            Staging = std::move(grown);
            StagingFrames = staging;
        }
    }
    Runtime->Effect.DoResume();
}

void CPatcherPlugin::Deactivate() { Runtime->Effect.DoSuspend(); }

double CPatcherPlugin::ParameterValue(std::int32_t index) const {
    if (!Description().SliderRecord(index)) return 0.0;
    // Both sliders pick a Samples slot; slots no input fills are silent, as
    // "none" (the slot after the last input) is.
    const std::int32_t slot = TVexilEffect::SampleSlot(Finite(Runtime->Effect.SliderValue(index)));
    return slot < kChannels ? slot : kChannels;
}

bool CPatcherPlugin::SetParameterValue(std::int32_t index, double value) {
    return Runtime->Effect.SetSliderValue(index, value);
}

std::size_t CPatcherPlugin::SaveState(const std::uint8_t*& bytes) {
    void* data = nullptr;
    const std::int32_t count = Runtime->Effect.DoGetChunk(&data, false);
    bytes = static_cast<const std::uint8_t*>(data);
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

bool CPatcherPlugin::LoadState(const void* bytes, std::size_t count) {
    if (!bytes || count < sizeof(float)) return false;
    float marker = 0.0f;
    std::memcpy(&marker, bytes, sizeof marker);
    if (marker != TVexil::kChunkMarker) return false;
    Runtime->Effect.DoSetChunk(bytes, static_cast<std::int32_t>(std::min(count, kStateBytes)), false);
    return true;
}

template <class Sample>
TPatcherBlock<Sample> CPatcherPlugin::BeginBlock(const TPatcherTransport* transport, Sample* const* inputs,
                                                 Sample* const* outputs, std::uint32_t frames) {
    return BeginBlock(transport, inputs, kChannels, outputs, kChannels, frames);
}

// What every processing call goes through is inlined into Process, so that
// a call of a few frames costs little more than the frames themselves.
template <class Sample>
[[gnu::always_inline]] inline TPatcherBlock<Sample> CPatcherPlugin::BeginBlock(
    const TPatcherTransport* transport, Sample* const* inputs, std::uint32_t inputCount, Sample* const* outputs,
    std::uint32_t outputCount, std::uint32_t frames) {
    TRuntime& runtime = *Runtime;
    runtime.Transport = transport;
    runtime.Effect.DoBlock();
    runtime.Transport = nullptr;
    return TPatcherBlock<Sample>(*this, inputs, inputCount, outputs, outputCount, frames);
}

template <class Sample>
TPatcherProcessed CPatcherPlugin::Process(const TPatcherTransport* transport, Sample* const* inputs,
                                          std::uint32_t inputCount, Sample* const* outputs, std::uint32_t outputCount,
                                          std::uint32_t frames, TPatcherChanges changes, std::uint64_t quietInputs) {
    TPatcherBlock<Sample> block = BeginBlock(transport, inputs, inputCount, outputs, outputCount, frames);
    if (changes.Next)
        for (TPatcherChange change; changes.Next(changes.Context, change);) block.Change(change);
    block.Finish();
    return {block.AllChannelsGiven(), block.SilentOutputs(quietInputs)};
}

template <class Sample>
[[gnu::always_inline]] inline const CPatcherPlugin::TBufferSpacing& CPatcherPlugin::SpacingOf(Sample* const* inputs,
                                                                                            Sample* const* outputs) {
    // One pass without branches, which vectorizes: cheaper than a call to memcmp.
    std::uintptr_t differ = 0;
    for (int c = 0; c < kChannels; ++c)
        differ |= (reinterpret_cast<std::uintptr_t>(Spacing.Inputs[c]) ^ reinterpret_cast<std::uintptr_t>(inputs[c])) |
                  (reinterpret_cast<std::uintptr_t>(Spacing.Outputs[c]) ^ reinterpret_cast<std::uintptr_t>(outputs[c]));
    return differ == 0 ? Spacing : MeasureSpacing(inputs, outputs);
}

template <class Sample>
const CPatcherPlugin::TBufferSpacing& CPatcherPlugin::MeasureSpacing(Sample* const* inputs, Sample* const* outputs) {
    constexpr std::size_t kBytes = sizeof(Sample*) * kChannels;
    static_assert(sizeof Spacing.Inputs == kBytes);
    std::uintptr_t closest = std::numeric_limits<std::uintptr_t>::max();
    bool missing = false;
    for (int i = 0; i < kChannels; ++i) {
        missing |= !inputs[i] || !outputs[i];
        for (int o = 0; o < kChannels; ++o)
            if (const std::uintptr_t distance = Distance(inputs[i], outputs[o]);
                distance != 0 && inputs[i] && outputs[o])
                closest = std::min(closest, distance);
    }
    std::memcpy(Spacing.Inputs, inputs, kBytes);
    std::memcpy(Spacing.Outputs, outputs, kBytes);
    Spacing.Missing = missing;
    Spacing.Closest = closest;
    return Spacing;
}

template <class Sample>
[[gnu::always_inline]] inline TPatcherBlock<Sample>::TPatcherBlock(CPatcherPlugin& plugin, Sample* const* inputs,
                                                                   std::uint32_t inputCount, Sample* const* outputs,
                                                                   std::uint32_t outputCount, std::uint32_t frames)
    : Plugin(plugin),
      Effect(plugin.Runtime->Effect),
      Frames(std::min<std::uint32_t>(frames, std::numeric_limits<std::int32_t>::max())) {
    constexpr auto kChannels = static_cast<std::uint32_t>(CPatcherPlugin::kChannels);
    if (inputs && outputs && inputCount >= kChannels && outputCount >= kChannels) {
        HostInputs = inputs;
        Outputs = outputs;
    } else {
        for (std::uint32_t c = 0; c < kChannels; ++c) {
            GivenInputs[c] = inputs && c < inputCount ? inputs[c] : nullptr;
            GivenOutputs[c] = outputs && c < outputCount ? outputs[c] : nullptr;
        }
        HostInputs = GivenInputs;
        Outputs = GivenOutputs;
    }
    const CPatcherPlugin::TBufferSpacing& spacing = Plugin.SpacingOf(HostInputs, Outputs);
    OutputCount = outputCount;
    if (outputs && outputCount > kChannels) {
        ExtraOutputs = outputs + kChannels;
        ExtraOutputCount = outputCount - kChannels;
    }
    if (spacing.Missing) {
        const bool staging = Plugin.Staging != nullptr;
        ScratchFrames = static_cast<std::uint32_t>(staging ? Plugin.StagingFrames : CPatcherPlugin::kSpareFrames);
        std::byte* scratch = staging ? Plugin.Staging.get() + std::size_t{kChannels} * ScratchFrames * sizeof(double)
                                     : Plugin.Spare;
        Silence = reinterpret_cast<Sample*>(scratch);
        Discard = reinterpret_cast<Sample*>(scratch + std::size_t{ScratchFrames} * sizeof(double));
    }
    // Buffers of the block's length meet without being the same.
    const bool overlap = spacing.Closest < static_cast<std::uintptr_t>(Frames) * sizeof(Sample);
    // Without staging (never activated) the frames still come out in order.
    Staged = overlap && Plugin.Staging;
}

template <class Sample>
void TPatcherBlock<Sample>::StageInputs(std::uint32_t begin, std::uint32_t end) {
    auto* staging = reinterpret_cast<Sample*>(Plugin.Staging.get());
    const auto stretch = static_cast<std::size_t>(Plugin.StagingFrames);
    for (int c = 0; c < CPatcherPlugin::kChannels; ++c) {
        Inputs[c] = staging + static_cast<std::size_t>(c) * stretch;
        if (HostInputs[c]) std::memcpy(Inputs[c], HostInputs[c] + begin, (end - begin) * sizeof(Sample));
    }
    StagedBegin = begin;
    StagedEnd = end;
}

template <class Sample>
[[gnu::always_inline]] inline void TPatcherBlock<Sample>::RenderUntil(std::uint32_t frame) {
    const std::uint32_t end = std::min(frame, Frames);
    // The usual first render: every channel the host's own, from frame 0.
    if (Rendered == 0 && end > 0 && !Silence && !Staged) {
        Effect.SampleFrames(HostInputs, Outputs, static_cast<std::int32_t>(end));
        if (ExtraOutputCount > 0) SilenceExtraOutputs(0, end);
        Rendered = end;
        return;
    }
    if (Rendered < end) RenderStretches(end);
}

template <class Sample>
void TPatcherBlock<Sample>::SilenceExtraOutputs(std::uint32_t begin, std::uint32_t end) {
    for (std::uint32_t k = 0; k < ExtraOutputCount; ++k)
        if (ExtraOutputs[k]) std::fill(ExtraOutputs[k] + begin, ExtraOutputs[k] + end, Sample(0));
}

template <class Sample>
void TPatcherBlock<Sample>::RenderStretches(std::uint32_t end) {
    while (Rendered < end) {
        std::uint32_t stop = end;
        if (Silence) stop = std::min(stop, Rendered + ScratchFrames);
        Sample* inputs[CPatcherPlugin::kChannels];
        Sample* outputs[CPatcherPlugin::kChannels];
        if (Staged) {
            if (Rendered >= StagedEnd)
                StageInputs(Rendered, std::min(Frames, Rendered + static_cast<std::uint32_t>(Plugin.StagingFrames)));
            stop = std::min(stop, StagedEnd);
        }
        for (int c = 0; c < CPatcherPlugin::kChannels; ++c) {
            if (!HostInputs[c])
                inputs[c] = Silence;
            else
                inputs[c] = Staged ? Inputs[c] + (Rendered - StagedBegin) : HostInputs[c] + Rendered;
            outputs[c] = Outputs[c] ? Outputs[c] + Rendered : Discard;
        }
        Effect.SampleFrames(inputs, outputs, static_cast<std::int32_t>(stop - Rendered));
        // After the render, so that an extra output that is also an input is read first.
        SilenceExtraOutputs(Rendered, stop);
        Rendered = stop;
    }
}

template <class Sample>
void TPatcherBlock<Sample>::Change(const TPatcherChange& change) {
    RenderUntil(change.Frame);
    Plugin.SetParameterValue(change.Index, change.Value);
    if (change.Index >= 0 && change.Index < CPatcherPlugin::kRoutedOutputs) Touched |= 1u << change.Index;
}

template <class Sample>
[[gnu::always_inline]] inline std::uint64_t TPatcherBlock<Sample>::SilentOutputs(std::uint64_t quietInputs) const {
    constexpr auto kRouted = static_cast<std::uint32_t>(CPatcherPlugin::kRoutedOutputs);
    std::uint64_t silent = patcher_kit::ChannelMask(kRouted, OutputCount);
    // The sources the frames were routed from: slots no input fills are silent.
    static_assert(kRouted == 2);
    const double sources[kRouted] = {Effect.Output1Source, Effect.Output2Source};
    auto& known = Plugin.SourceSlots;
    for (std::uint32_t o = 0; o < kRouted && o < OutputCount; ++o) {
        if (Touched >> o & 1) continue;
        const auto bits = std::bit_cast<std::uint64_t>(sources[o]);
        if (bits != known.Source[o]) {
            known.Source[o] = bits;
            known.Slot[o] = TVexilEffect::SampleSlot(sources[o]);
        }
        const std::int32_t slot = known.Slot[o];
        if (slot >= CPatcherPlugin::kChannels || (quietInputs >> slot & 1)) silent |= std::uint64_t{1} << o;
    }
    return silent;
}

template TPatcherBlock<float> CPatcherPlugin::BeginBlock(const TPatcherTransport*, float* const*, float* const*,
                                                         std::uint32_t);
template TPatcherBlock<double> CPatcherPlugin::BeginBlock(const TPatcherTransport*, double* const*, double* const*,
                                                          std::uint32_t);
template TPatcherBlock<float> CPatcherPlugin::BeginBlock(const TPatcherTransport*, float* const*, std::uint32_t,
                                                         float* const*, std::uint32_t, std::uint32_t);
template TPatcherBlock<double> CPatcherPlugin::BeginBlock(const TPatcherTransport*, double* const*, std::uint32_t,
                                                          double* const*, std::uint32_t, std::uint32_t);
template TPatcherProcessed CPatcherPlugin::Process(const TPatcherTransport*, float* const*, std::uint32_t,
                                                   float* const*, std::uint32_t, std::uint32_t, TPatcherChanges,
                                                   std::uint64_t);
template TPatcherProcessed CPatcherPlugin::Process(const TPatcherTransport*, double* const*, std::uint32_t,
                                                   double* const*, std::uint32_t, std::uint32_t, TPatcherChanges,
                                                   std::uint64_t);
template class TPatcherBlock<float>;
template class TPatcherBlock<double>;
