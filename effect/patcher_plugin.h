// The patcher as a plug-in, for every format but VST 2 (whose plug-in object
// reaches the effect through its callback table): one neutral interface that
// a format's adapter translates its host's calls into. It owns the effect and
// answers the runtime's host questions from what the adapter hands it: the
// sample rate and block size at activation, the transport with each block.
// Adapters see only neutral types here: the runtime stays behind the door,
// so that no format comes to lean on how the script runtime is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// A parameter as every host is told of it, in plain values.
struct TPatcherParameter {
    std::string Name;
    double Min = 0.0;
    double Max = 0.0;
    double Default = 0.0;
    double Step = 0.0;  // 0: any value in the range
    // The name of each step from Min on; empty for a parameter of numbers.
    std::vector<std::string> Choices;
};

// One parameter change of a processing call, in the plug-in's plain values,
// at a frame of the call.
struct TPatcherChange {
    std::int32_t Index = 0;
    std::uint32_t Frame = 0;
    double Value = 0.0;
};

// The parameter changes of one processing call, in frame order: `Next`
// fills in the next one and answers true, or answers false when none is left.
struct TPatcherChanges {
    void* Context = nullptr;
    bool (*Next)(void* context, TPatcherChange& change) = nullptr;

    // The changes `next(change)` yields until it answers false. A call with
    // none is cheaper with the empty TPatcherChanges{}.
    template <class Next>
    static TPatcherChanges From(Next& next) {
        return {&next, [](void* context, TPatcherChange& change) { return (*static_cast<Next*>(context))(change); }};
    }
};

// What a processing call tells its host besides the audio.
struct TPatcherProcessed {
    // Whether the host gave every input and output channel of the plug-in.
    bool AllChannelsGiven = false;
    // The outputs silent all through the call, as TPatcherBlock::SilentOutputs answers.
    std::uint64_t SilentOutputs = 0;
};

// What happened to a state that a host's stream moved.
enum class TPatcherStateResult { Done, StreamFailed, NotOurs, NoMemory };

class TVexilEffect;
template <class Sample>
class TPatcherBlock;

class CPatcherPlugin {
public:
    static constexpr std::int32_t kChannels = 16;
    // The outputs a source is chosen for; those past them stay silent.
    static constexpr std::int32_t kRoutedOutputs = 2;
    // The parameter value of the source "none": silence.
    static constexpr double kNoSource = kChannels;
    // Marker and the 64 serialized sliders, 32-bit floats each.
    static constexpr std::size_t kStateBytes = (1 + 64) * sizeof(float);
    // Longer than any parameter's text: a host's text is refused unread past this.
    static constexpr std::size_t kLongestText = 64;

    // What every instance says about itself; the texts live as long as the library.
    static const std::string& Name();
    static const std::string& Vendor();
    static const char* Version();
    static std::int32_t ParameterCount();
    // Null for an index that names no parameter.
    static const TPatcherParameter* ParameterInfo(std::int32_t index);
    // The display text of the value a host would set with `value`; false for
    // an unknown parameter or a non-finite value.
    static bool ValueText(std::int32_t index, double value, char* text, std::size_t size);
    // A text that names exactly one of the parameter's choices: its display
    // text in any letter case, or the number that ends it, with white space
    // around either. False for any other, and when memory runs short.
    static bool TextValue(std::int32_t index, std::string_view text, double& value);

    // Opens the effect: the sliders at their defaults, routing as they say.
    CPatcherPlugin();
    ~CPatcherPlugin();
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
    // The changes of a call without audio, all at once: `next(change)`
    // yields them until it answers false.
    template <class Next>
    void ApplyChanges(Next&& next);

    // The delay in frames the effect last reported (it reports none).
    std::int32_t Latency() const;

    // The state: kStateBytes bytes, the same chunk the VST 2 plug-in saves.
    // The bytes stay valid until the next save or load.
    std::size_t SaveState(const std::uint8_t*& bytes);
    // Loads a chunk of that form; bytes past kStateBytes and a partial
    // trailing float are ignored. Fewer than 4 bytes or a chunk without the
    // marker change nothing and answer false.
    bool LoadState(const void* bytes, std::size_t count);
    // The state through a host's stream, however much it moves a call.
    // `write(bytes, count)` answers how many it took, 0 or less for none;
    // `read(bytes, count)` how many it gave, 0 at the end, less on failure.
    // Nothing is loaded from a stream that failed.
    template <class Write>
    TPatcherStateResult SaveStateTo(Write&& write);
    template <class Read>
    TPatcherStateResult LoadStateFrom(Read&& read);
    // Up to `size` bytes from such a stream, counting on from `count`; false
    // when it failed. For a format whose hosts wrap a state in more.
    template <class Read>
    static bool ReadStream(Read&& read, std::uint8_t* bytes, std::size_t size, std::size_t& count);

    // The effect's variables, for tools and tests that look at them.
    const TVexilEffect& GetEffect() const;

    // Audio thread: starts one processing call (the effect's block section,
    // with this transport or none), whose frames the block then renders.
    template <class Sample>
    TPatcherBlock<Sample> BeginBlock(const TPatcherTransport* transport, Sample* const* inputs,
                                     Sample* const* outputs, std::uint32_t frames);
    // One whole processing call, the way every format's host makes it: the
    // block section with this transport or none, each change made at its
    // frame, then the rest of the frames; `quietInputs` as SilentOutputs takes
    // it. Channels as the BeginBlock below takes them.
    template <class Sample>
    TPatcherProcessed Process(const TPatcherTransport* transport, Sample* const* inputs, std::uint32_t inputCount,
                              Sample* const* outputs, std::uint32_t outputCount, std::uint32_t frames,
                              TPatcherChanges changes, std::uint64_t quietInputs);
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
    struct TRuntime;

    // The stretch a host's partly overlapping buffers are copied into, in
    // frames: the announced maximum within these bounds. Hosts may announce up
    // to 2^31 frames, which no instance can stage. Partly overlapping buffers
    // give what separate ones give for blocks up to the stretch.
    static constexpr std::int32_t kDefaultStagingFrames = 4096;
    static constexpr std::int32_t kMaxStagingFrames = 65536;

    // The effect and what the runtime's host questions read, from any thread.
    const std::unique_ptr<TRuntime> Runtime;

    // Copies of the inputs for one stretch, in either precision, then one
    // stretch of silence for inputs not given and one that outputs not given
    // are rendered into.
    std::unique_ptr<std::byte[]> Staging;
    std::int32_t StagingFrames = 0;
    // The silence and the discarded outputs of an instance that has no staging.
    static constexpr std::int32_t kSpareFrames = 64;
    alignas(double) std::byte Spare[2 * kSpareFrames * sizeof(double)] = {};

    // What a block needs to know of its buffers: whether any is missing, and
    // the least distance in bytes between an input and an output that are
    // not the same. Hosts mostly pass the same buffers block after block, so
    // the answers for the last ones are kept. Audio thread only.
    struct TBufferSpacing {
        const void* Inputs[kChannels] = {};
        const void* Outputs[kChannels] = {};
        bool Missing = true;
        std::uintptr_t Closest = std::numeric_limits<std::uintptr_t>::max();
    } Spacing;
    template <class Sample>
    const TBufferSpacing& SpacingOf(Sample* const* inputs, Sample* const* outputs);
    template <class Sample>
    const TBufferSpacing& MeasureSpacing(Sample* const* inputs, Sample* const* outputs);
    // The slot each routed output's source picked when last asked, by the
    // source's bits: sources rarely change, and working a slot out takes a
    // chain of steps each call would wait for. Audio thread only.
    struct TSourceSlots {
        std::uint64_t Source[kRoutedOutputs] = {};
        std::int32_t Slot[kRoutedOutputs] = {};
    } SourceSlots;
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
    // Renders up to the change's frame, then makes it.
    void Change(const TPatcherChange& change);
    // Every change `next(change)` yields, in its order, then the rest.
    template <class Next>
    void FinishWith(Next&& next);

    // The outputs silent all through the block, one bit each, of as many as
    // the host gave: those past the routed ones; a routed one whose source
    // is "none", or an input `quietInputs` has a bit for (silent, or
    // constant, as the host flagged it), unless a change of the block made
    // through Change touched its source. Formats that report silence all
    // answer with this.
    std::uint64_t SilentOutputs(std::uint64_t quietInputs) const;
    // Whether the host gave every input and output channel of the plug-in.
    bool AllChannelsGiven() const { return !Silence; }

    // Its channel arrays may point into the block itself: never copied.
    TPatcherBlock(const TPatcherBlock&) = delete;
    TPatcherBlock& operator=(const TPatcherBlock&) = delete;

private:
    friend class CPatcherPlugin;
    TPatcherBlock(CPatcherPlugin& plugin, Sample* const* inputs, std::uint32_t inputCount, Sample* const* outputs,
                  std::uint32_t outputCount, std::uint32_t frames);

    void StageInputs(std::uint32_t begin, std::uint32_t end);
    // RenderUntil past the usual first render.
    void RenderStretches(std::uint32_t end);
    void SilenceExtraOutputs(std::uint32_t begin, std::uint32_t end);

    CPatcherPlugin& Plugin;
    TVexilEffect& Effect;
    // The plug-in's channels, null for one not given: the host's own arrays
    // when it gave them all, else the block's copies below.
    Sample* const* HostInputs;
    Sample* const* Outputs;
    Sample* GivenInputs[CPatcherPlugin::kChannels];
    Sample* GivenOutputs[CPatcherPlugin::kChannels];
    std::uint32_t OutputCount = 0;
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
    // The routed outputs whose source a change of this block touched.
    std::uint32_t Touched = 0;
    // Inputs that partly overlap an output are read from copies, so that the
    // outputs are what separate buffers give.
    bool Staged = false;
    std::uint32_t StagedBegin = 0, StagedEnd = 0;
    Sample* Inputs[CPatcherPlugin::kChannels];
};

template <class Next>
void CPatcherPlugin::ApplyChanges(Next&& next) {
    for (TPatcherChange change; next(change);) SetParameterValue(change.Index, change.Value);
}

template <class Write>
TPatcherStateResult CPatcherPlugin::SaveStateTo(Write&& write) {
    const std::uint8_t* bytes = nullptr;
    std::size_t left;
    // The chunk is rebuilt at each save and may need memory (after a short
    // chunk was loaded, say): without it there is no state to give.
    try {
        left = SaveState(bytes);
    } catch (...) {
        return TPatcherStateResult::NoMemory;
    }
    while (left > 0) {
        const std::int64_t written = write(bytes, left);
        if (written <= 0 || static_cast<std::uint64_t>(written) > left) return TPatcherStateResult::StreamFailed;
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
    return TPatcherStateResult::Done;
}

template <class Read>
bool CPatcherPlugin::ReadStream(Read&& read, std::uint8_t* bytes, std::size_t size, std::size_t& count) {
    while (count < size) {
        const std::int64_t got = read(bytes + count, size - count);
        if (got == 0) break;
        if (got < 0 || static_cast<std::uint64_t>(got) > size - count) return false;
        count += static_cast<std::size_t>(got);
    }
    return true;
}

template <class Read>
TPatcherStateResult CPatcherPlugin::LoadStateFrom(Read&& read) {
    std::uint8_t chunk[kStateBytes];
    std::size_t count = 0;
    if (!ReadStream(read, chunk, sizeof chunk, count)) return TPatcherStateResult::StreamFailed;
    try {
        return LoadState(chunk, count) ? TPatcherStateResult::Done : TPatcherStateResult::NotOurs;
    } catch (...) {
        return TPatcherStateResult::NoMemory;
    }
}

template <class Sample>
template <class Next>
void TPatcherBlock<Sample>::FinishWith(Next&& next) {
    for (TPatcherChange change; next(change);) Change(change);
    Finish();
}
