// The patcher as a plug-in, for every format but VST 2 (whose plug-in object
// reaches the effect through its callback table): one neutral interface that
// a format's adapter translates its host's calls into. It owns the effect and
// answers the runtime's host questions from what the adapter hands it: the
// sample rate and block size at activation, the transport with each block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "patcher_effect.h"
#include "relaxed.h"

// What a host tells of its transport for one block. Fields whose Has flag is
// off are unknown.
struct TPatcherTransport {
    bool HasTempo = false;
    double Tempo = 0.0;  // beats per minute
    bool HasTimeSignature = false;
    double TimeSigNumerator = 0.0;
    double TimeSigDenominator = 0.0;
    bool HasPosition = false;
    double QuarterNotes = 0.0;  // song position
    bool Playing = false;
    bool Recording = false;
};

template <class Sample>
class TPatcherBlock;

class CPatcherPlugin {
public:
    static constexpr std::int32_t kChannels = TVexilEffect::kChannels;
    // Marker and the serialized sliders, 32-bit floats each.
    static constexpr std::size_t kStateBytes = (1 + TVexilEffect::kSerializedSliders) * sizeof(float);

    // What every instance says about itself; the texts live as long as the library.
    static const std::string& Name();
    static const std::string& Vendor();
    static const char* Version();
    static std::int32_t ParameterCount();
    // Null for an index that names no parameter.
    static const TVexilSlider* Parameter(std::int32_t index);
    // The display text of the value a host would set with `value`; false for
    // an unknown parameter or a non-finite value.
    static bool ValueText(std::int32_t index, double value, char* text, std::size_t size);
    // A text that names exactly one of the parameter's choices: its display
    // text in any letter case, or the number that ends it, with white space
    // around either. False for any other.
    static bool TextValue(std::int32_t index, std::string_view text, double& value);

    // Opens the effect: the sliders at their defaults, routing as they say.
    CPatcherPlugin();
    CPatcherPlugin(const CPatcherPlugin&) = delete;
    CPatcherPlugin& operator=(const CPatcherPlugin&) = delete;

    // Main thread, outside processing. A maximum of 0 frames means the host
    // does not say; blocks of any length are processed either way. Neither
    // throws: short of memory, activation keeps the staging it had.
    void Activate(double sampleRate, std::int32_t maxFrames);
    void Deactivate();

    // The value as the routing acts on it: always within the parameter's
    // range, whatever a loaded state holds. 0 for an unknown parameter.
    double ParameterValue(std::int32_t index) const;
    // Rounded to the step and held within the range; non-finite values are
    // ignored (false), as are unknown parameters.
    bool SetParameterValue(std::int32_t index, double value);

    // The delay in frames the effect last reported (it reports none).
    std::int32_t Latency() const { return ReportedLatency; }

    // The state: kStateBytes bytes, the same chunk the VST 2 plug-in saves.
    // The bytes stay valid until the next save or load.
    std::size_t SaveState(const std::uint8_t*& bytes);
    // Loads a chunk of that form; bytes past kStateBytes and a partial
    // trailing float are ignored. Fewer than 4 bytes or a chunk without the
    // marker change nothing and answer false.
    bool LoadState(const void* bytes, std::size_t count);

    // The effect's variables, for tools and tests that look at them.
    const TVexilEffect& GetEffect() const { return Effect; }

    // Audio thread: starts one processing call (the effect's block section,
    // with this transport or none), whose frames the block then renders.
    template <class Sample>
    TPatcherBlock<Sample> BeginBlock(const TPatcherTransport* transport, Sample* const* inputs,
                                     Sample* const* outputs, std::uint32_t frames);
    // The same for whatever channels a host hands over: either array may be
    // null and so may any entry. Inputs not given are silent; every output
    // given is written, those past the plug-in's channels with silence. The
    // plug-in's own outputs that are not given are rendered into scratch.
    template <class Sample>
    TPatcherBlock<Sample> BeginBlock(const TPatcherTransport* transport, Sample* const* inputs,
                                     std::uint32_t inputCount, Sample* const* outputs, std::uint32_t outputCount,
                                     std::uint32_t frames);

private:
    template <class Sample>
    friend class TPatcherBlock;
    friend struct TPatcherHostServices;

    // The stretch a host's partly overlapping buffers are copied into, in
    // frames: the announced maximum within these bounds. Hosts may announce up
    // to 2^31 frames, which no instance can stage. Partly overlapping buffers
    // give what separate ones give for blocks up to the stretch.
    static constexpr std::int32_t kDefaultStagingFrames = 4096;
    static constexpr std::int32_t kMaxStagingFrames = 65536;

    TVexilEffect Effect;

    // Read by the runtime's host questions from any thread.
    Relaxed<double> SampleRate = 0.0;
    Relaxed<std::int32_t> MaxFrames = 0;
    Relaxed<bool> HasTransport = false;
    Relaxed<bool> HasTempo = false;
    Relaxed<double> Tempo = 0.0;
    Relaxed<bool> HasTimeSignature = false;
    Relaxed<double> TimeSigNumerator = 0.0;
    Relaxed<double> TimeSigDenominator = 0.0;
    Relaxed<double> QuarterNotes = 0.0;
    Relaxed<bool> Playing = false;
    Relaxed<bool> Recording = false;
    Relaxed<std::int32_t> ReportedLatency = 0;

    // Copies of the inputs for one stretch, in either precision, then one
    // stretch of silence for inputs not given and one that outputs not given
    // are rendered into.
    std::unique_ptr<std::byte[]> Staging;
    std::int32_t StagingFrames = 0;
    // The silence and the discarded outputs of an instance that has no staging.
    static constexpr std::int32_t kSpareFrames = 64;
    alignas(double) std::byte Spare[2 * kSpareFrames * sizeof(double)] = {};

    // The least distance in bytes between an input and an output that are
    // not the same. Hosts mostly pass the same buffers block after block, so
    // the answer for the last ones is kept. Audio thread only.
    template <class Sample>
    std::uintptr_t ClosestBuffers(Sample* const* inputs, Sample* const* outputs);
    struct TBufferSpacing {
        const void* Inputs[kChannels] = {};
        const void* Outputs[kChannels] = {};
        std::uintptr_t Closest = std::numeric_limits<std::uintptr_t>::max();
    } Spacing;
};

// One processing call's frames, rendered in order up to the frames a host's
// events fall on; parameter changes made between two renders take effect from
// the frame the first render stopped at.
template <class Sample>
class TPatcherBlock {
public:
    // Renders the frames from where the last render stopped up to `frame`
    // (held to the block); a frame already rendered is not rendered again.
    void RenderUntil(std::uint32_t frame);
    void Finish() { RenderUntil(Frames); }

private:
    friend class CPatcherPlugin;
    TPatcherBlock(CPatcherPlugin& plugin, Sample* const* inputs, std::uint32_t inputCount, Sample* const* outputs,
                  std::uint32_t outputCount, std::uint32_t frames);

    void StageInputs(std::uint32_t begin, std::uint32_t end);

    CPatcherPlugin& Plugin;
    // Null for a channel not given.
    Sample* HostInputs[CPatcherPlugin::kChannels];
    Sample* Outputs[CPatcherPlugin::kChannels];
    // The outputs past the plug-in's channels, some of them maybe null.
    Sample* const* ExtraOutputs = nullptr;
    std::uint32_t ExtraOutputCount = 0;
    // Where channels not given are read from and rendered to, and how many
    // frames each holds: while any is missing, frames go in stretches of that.
    Sample* Silence = nullptr;
    Sample* Discard = nullptr;
    std::uint32_t ScratchFrames = 0;
    std::uint32_t Frames;
    std::uint32_t Rendered = 0;
    // Inputs that partly overlap an output are read from copies, so that the
    // outputs are what separate buffers give.
    bool Staged = false;
    std::uint32_t StagedBegin = 0, StagedEnd = 0;
    Sample* Inputs[CPatcherPlugin::kChannels];
};
