// Times the built plug-in's process entries through its AEffect record, the way
// a host calls them, against the copy limit: the least work that gives the same
// outputs; the CLAP and VST 3 modules' process calls against the VST 2
// entries; and, where the LV2 bundle is built, its run() against the VST 2
// entry. Prints ns/frame and the ratios after the run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#if defined(__SSE2_MATH__)
#include <xmmintrin.h>
#endif

#include "clap_host.h"
#include "plugin_library.h"
#include "vst2.h"
#include "vst3_host.h"

#if defined(MULTICHANNEL_PATCHER_LV2_PATH)
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>
#endif

namespace {

constexpr int kChannels = 16;
constexpr int kBlockSizes[] = {1, 16, 64, 512, 4096};
// Slider values: output 1 takes input 1, output 2 takes input 2 (the defaults).
constexpr int kSource1 = 0;
constexpr int kSource2 = 1;

PluginLibrary& Library() {
    static std::unique_ptr<PluginLibrary> library = [] {
        const char* override = std::getenv("MULTICHANNEL_PATCHER");
        const std::string path = override ? override : MULTICHANNEL_PATCHER_PATH;
        std::string error;
        auto opened = PluginLibrary::Open(path, error);
        if (!opened || !opened->FindEntryPoint()) {
            std::fprintf(stderr, "cannot use %s: %s\n", path.c_str(), error.c_str());
            std::exit(1);
        }
        return opened;
    }();
    return *library;
}

// A playing transport at 120 bpm in 4/4. Like a host, the answer to each time
// query is computed from the current sample position, with a multiplication;
// the hosts that hand their transport over with the call move it on by a
// block's worth after each. A division's latency before a call would be
// counted against the formats whose hosts hand it over.
struct Transport {
    double sampleRate = 48000.0;
    double tempo = 120.0;
    double quarterNotesPerFrame = tempo / 60.0 / sampleRate;
    double samplePos = 0.0;
    VstTimeInfo info{};

    double QuarterNotes(double frame) const { return frame * quarterNotesPerFrame; }

    VstTimeInfo* Answer() {
        info.samplePos = samplePos;
        info.sampleRate = sampleRate;
        info.tempo = tempo;
        info.ppqPos = QuarterNotes(samplePos);
        info.barStartPos = std::floor(info.ppqPos * 0.25) * 4.0;
        info.timeSigNumerator = 4;
        info.timeSigDenominator = 4;
        info.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
        return &info;
    }
};

Transport transport;

VstIntPtr VSTCALLBACK HostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    switch (opcode) {
    case audioMasterVersion:
        return 2400;
    case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(transport.Answer());
    case audioMasterGetSampleRate:
        return static_cast<VstIntPtr>(transport.sampleRate);
    default:
        return 0;
    }
}

// Separate input and output buffers for every channel, inputs filled with
// noise. All of them lie in one arena, each on a cache line of its own and
// apart by more than a block, so that every benchmark's buffers lie alike
// whatever the heap held before: formats are compared on their work, not on
// where their buffers happened to fall.
template <class Sample>
struct Buffers {
    explicit Buffers(int frames)
        : frames(frames),
          stride((static_cast<std::size_t>(frames) * sizeof(Sample) / kLine + 2) * kLine / sizeof(Sample)),
          arena(2 * kChannels * stride + kLine / sizeof(Sample)) {
        const auto address = reinterpret_cast<std::uintptr_t>(arena.data());
        Sample* base = arena.data() + (kLine - address % kLine) % kLine / sizeof(Sample);
        std::mt19937 random(7);
        std::uniform_real_distribution<double> noise(-1.0, 1.0);
        for (int c = 0; c < kChannels; ++c) {
            inPtr[c] = base + static_cast<std::size_t>(c) * stride;
            outPtr[c] = base + static_cast<std::size_t>(kChannels + c) * stride;
            for (int j = 0; j < frames; ++j) inPtr[c][j] = static_cast<Sample>(noise(random));
        }
    }
    static constexpr std::size_t kLine = 64;
    const int frames;
    const std::size_t stride;
    std::vector<Sample> arena;
    Sample* inPtr[kChannels];
    Sample* outPtr[kChannels];
};

class Instance {
public:
    Instance() : effect(Library().FindEntryPoint()(HostCallback)) {
        Dispatch(effOpen);
        Dispatch(effSetSampleRate, 0, 0, static_cast<float>(transport.sampleRate));
        Dispatch(effSetBlockSize, 0, 4096);
        Dispatch(effMainsChanged, 0, 1);
    }
    ~Instance() { Dispatch(effClose); }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void Process(float** in, float** out, VstInt32 frames) { effect->processReplacing(effect, in, out, frames); }
    void Process(double** in, double** out, VstInt32 frames) {
        effect->processDoubleReplacing(effect, in, out, frames);
    }

private:
    VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, float opt = 0.0f) {
        return effect->dispatcher(effect, opcode, index, value, nullptr, opt);
    }
    AEffect* effect;
};

template <class Sample>
void CopyFinite(const Sample* __restrict from, Sample* __restrict to, int frames) {
    for (int j = 0; j < frames; ++j) to[j] = std::isfinite(from[j]) ? from[j] : Sample(0);
}

// The copy limit.
template <class Sample>
void CopyLimit(Sample* const* in, Sample* const* out, int frames) {
    CopyFinite(in[kSource1], out[0], frames);
    CopyFinite(in[kSource2], out[1], frames);
    for (int c = 2; c < kChannels; ++c) std::fill_n(out[c], frames, Sample(0));
}

// Whether a plug-in's outputs agree with the copy limit's bit for bit, without
// which the comparison means nothing.
template <class Sample>
bool MatchesCopyLimit(const Buffers<Sample>& buffers) {
    Buffers<Sample> reference(buffers.frames);
    CopyLimit(reference.inPtr, reference.outPtr, buffers.frames);
    for (int c = 0; c < kChannels; ++c)
        if (std::memcmp(buffers.outPtr[c], reference.outPtr[c], sizeof(Sample) * buffers.frames) != 0) return false;
    return true;
}

// Hosts commonly run their audio threads with flush-to-zero and
// denormals-are-zero on, which takes floats through other steps.
enum class Fpu { Default, FlushDenormals };

// The FPU state for the benchmark's whole run, the old one restored after.
template <Fpu mode>
class FpuScope {
public:
#if defined(__SSE2_MATH__)
    FpuScope() : saved(_mm_getcsr()) {
        if (mode == Fpu::FlushDenormals) _mm_setcsr(saved | _MM_FLUSH_ZERO_ON | kDenormalsAreZero);
    }
    ~FpuScope() { _mm_setcsr(saved); }

private:
    static constexpr unsigned kDenormalsAreZero = 0x0040;
    const unsigned saved;
#endif
};

// CPU time per frame, in seconds: the inverted frame rate.
void CountFrames(benchmark::State& state, int frames) {
    state.counters["per_frame"] =
        benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

template <class Sample, Fpu mode = Fpu::Default>
void BM_Plugin(benchmark::State& state) {
    const FpuScope<mode> fpu;
    const auto frames = static_cast<int>(state.range(0));
    Buffers<Sample> buffers(frames);
    Instance plugin;

    plugin.Process(buffers.inPtr, buffers.outPtr, frames);
    if (!MatchesCopyLimit(buffers)) {
        state.SkipWithError("plug-in outputs differ from the copy limit");
        return;
    }

    for (auto _ : state) {
        plugin.Process(buffers.inPtr, buffers.outPtr, frames);
        transport.samplePos += frames;
        benchmark::ClobberMemory();
    }
    CountFrames(state, frames);
}

// The CLAP process call as a host makes it, on the same buffers: the
// transport at the block's start (as the VST 2 host's time answers), no events.
template <class Sample, Fpu mode = Fpu::Default>
void BM_Clap(benchmark::State& state) {
    const FpuScope<mode> fpu;
    const auto frames = static_cast<int>(state.range(0));
    Buffers<Sample> buffers(frames);
    TClapAudioBuffer inputs{nullptr, nullptr, kChannels, 0, 0}, outputs = inputs;
    if constexpr (sizeof(Sample) == sizeof(float)) {
        inputs.Data32 = buffers.inPtr;
        outputs.Data32 = buffers.outPtr;
    } else {
        inputs.Data64 = buffers.inPtr;
        outputs.Data64 = buffers.outPtr;
    }
    ClapTestHost host;
    ClapInstance plugin(host);
    plugin.Start(4096);
    TClapEventTransport time{};
    time.Flags = kClapTransportHasTempo | kClapTransportHasBeatsTimeline | kClapTransportHasTimeSignature |
                 kClapTransportIsPlaying;
    time.Tempo = transport.tempo;
    time.TimeSigNumerator = time.TimeSigDenominator = 4;

    plugin.Process(inputs, outputs, static_cast<std::uint32_t>(frames), nullptr, &time);
    if (!MatchesCopyLimit(buffers)) {
        state.SkipWithError("CLAP outputs differ from the copy limit");
        return;
    }

    // The position runs on in beat time, block by block.
    const auto beatTimePerBlock =
        static_cast<std::int64_t>(transport.QuarterNotes(frames) * static_cast<double>(kClapBeatTimeFactor));
    for (auto _ : state) {
        plugin.Process(inputs, outputs, static_cast<std::uint32_t>(frames), nullptr, &time);
        time.SongPosBeats += beatTimePerBlock;
        benchmark::ClobberMemory();
    }
    CountFrames(state, frames);
}

// The VST 3 process call as a host makes it, on the same buffers: a process
// context at the block's start (as the VST 2 host's time answers), no changes.
template <class Sample, Fpu mode = Fpu::Default>
void BM_Vst3(benchmark::State& state) {
    const FpuScope<mode> fpu;
    const auto frames = static_cast<int>(state.range(0));
    Buffers<Sample> buffers(frames);
    TVst3AudioBusBuffers inputs{}, outputs{};
    inputs.NumChannels = outputs.NumChannels = kChannels;
    if constexpr (sizeof(Sample) == sizeof(float)) {
        inputs.Buffers32 = buffers.inPtr;
        outputs.Buffers32 = buffers.outPtr;
    } else {
        inputs.Buffers64 = buffers.inPtr;
        outputs.Buffers64 = buffers.outPtr;
    }
    Vst3Instance plugin;
    plugin.Start(4096, sizeof(Sample) == sizeof(float) ? kVst3Sample32 : kVst3Sample64);
    TVst3ProcessContext context{};
    context.State = kVst3ContextTempoValid | kVst3ContextProjectTimeMusicValid | kVst3ContextTimeSigValid |
                    kVst3ContextPlaying;
    context.SampleRate = transport.sampleRate;
    context.Tempo = transport.tempo;
    context.TimeSigNumerator = context.TimeSigDenominator = 4;

    plugin.ProcessBuses<Sample>(&inputs, 1, &outputs, 1, frames, nullptr, &context);
    if (!MatchesCopyLimit(buffers)) {
        state.SkipWithError("VST 3 outputs differ from the copy limit");
        return;
    }

    // The position runs on, block by block.
    const double quarterNotesPerBlock = transport.QuarterNotes(frames);
    for (auto _ : state) {
        plugin.ProcessBuses<Sample>(&inputs, 1, &outputs, 1, frames, nullptr, &context);
        context.ProjectTimeSamples += frames;
        context.ProjectTimeMusic += quarterNotesPerBlock;
        benchmark::ClobberMemory();
    }
    CountFrames(state, frames);
}

template <class Sample, Fpu mode = Fpu::Default>
void BM_CopyLimit(benchmark::State& state) {
    const FpuScope<mode> fpu;
    const auto frames = static_cast<int>(state.range(0));
    Buffers<Sample> buffers(frames);
    for (auto _ : state) {
        Sample* const* in = buffers.inPtr;
        Sample* const* out = buffers.outPtr;
        benchmark::DoNotOptimize(in);
        benchmark::DoNotOptimize(out);
        CopyLimit(in, out, frames);
        benchmark::ClobberMemory();
    }
    CountFrames(state, frames);
}

#if defined(MULTICHANNEL_PATCHER_LV2_PATH)
// The LV2 module's run() as a full host calls it: with a map, the block size
// in its options and a time port that carried one time:Position (playing, 120
// bpm, 4/4) and then empty sequences, so that the plug-in moves the position on.
class Lv2Instance {
public:
    Lv2Instance(float* const* in, float* const* out) {
        static std::unique_ptr<PluginLibrary> library = [] {
            std::string error;
            auto opened = PluginLibrary::Open(MULTICHANNEL_PATCHER_LV2_PATH, error);
            if (!opened || !opened->Entry("lv2_descriptor")) {
                std::fprintf(stderr, "cannot use %s: %s\n", MULTICHANNEL_PATCHER_LV2_PATH, error.c_str());
                std::exit(1);
            }
            return opened;
        }();
        // Through a plain function pointer type: the library hands out every entry as a VST 2 one.
        const auto entry = reinterpret_cast<void (*)()>(library->Entry("lv2_descriptor"));
        descriptor = reinterpret_cast<LV2_Descriptor_Function>(entry)(0);
        const LV2_Options_Option options[] = {
            {LV2_OPTIONS_INSTANCE, 0, Map(this, LV2_BUF_SIZE__maxBlockLength), sizeof blockSize,
             Map(this, LV2_ATOM__Int), &blockSize},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        const LV2_Feature mapFeature{LV2_URID__map, &map};
        const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
        const LV2_Feature* features[] = {&mapFeature, &optionsFeature, nullptr};
        handle = descriptor->instantiate(descriptor, transport.sampleRate, "", features);
        for (std::uint32_t c = 0; c < kChannels; ++c) {
            descriptor->connect_port(handle, c, in[c]);
            descriptor->connect_port(handle, kChannels + c, out[c]);
        }
        for (std::uint32_t p = 0; p < 2; ++p) descriptor->connect_port(handle, 2 * kChannels + p, &controls[p]);
        descriptor->connect_port(handle, 2 * kChannels + 2, events);
        descriptor->activate(handle);

        LV2_Atom_Forge forge;
        lv2_atom_forge_init(&forge, &map);
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<std::uint8_t*>(events), sizeof events);
        LV2_Atom_Forge_Frame sequence, object;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &object, 0, Map(this, LV2_TIME__Position));
        const std::pair<const char*, float> fields[] = {{LV2_TIME__speed, 1.0f},     {LV2_TIME__beatsPerMinute, 120.0f},
                                                        {LV2_TIME__beatsPerBar, 4.0f}, {LV2_TIME__beatUnit, 4.0f},
                                                        {LV2_TIME__bar, 0.0f},         {LV2_TIME__barBeat, 0.0f}};
        for (const auto& [key, value] : fields) {
            lv2_atom_forge_key(&forge, Map(this, key));
            lv2_atom_forge_float(&forge, value);
        }
        lv2_atom_forge_pop(&forge, &object);
        lv2_atom_forge_pop(&forge, &sequence);
    }
    ~Lv2Instance() {
        descriptor->deactivate(handle);
        descriptor->cleanup(handle);
    }
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    void Run(std::uint32_t frames) {
        descriptor->run(handle, frames);
        // Later runs carry no events, as between a host's updates.
        const std::uint32_t empty = sizeof(LV2_Atom_Sequence_Body);
        std::memcpy(events, &empty, sizeof empty);  // the sequence atom's size comes first
    }

private:
    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri) {
        auto& uris = static_cast<Lv2Instance*>(handle)->uris;
        const auto found = std::find(uris.begin(), uris.end(), uri);
        if (found != uris.end()) return static_cast<LV2_URID>(found - uris.begin() + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }

    std::vector<std::string> uris;
    LV2_URID_Map map{this, Map};
    const LV2_Descriptor* descriptor;
    LV2_Handle handle;
    const std::int32_t blockSize = 4096;
    float controls[2] = {kSource1, kSource2};
    alignas(8) std::uint64_t events[64] = {};
};

template <Fpu mode = Fpu::Default>
void BM_Lv2(benchmark::State& state) {
    const FpuScope<mode> fpu;
    const auto frames = static_cast<int>(state.range(0));
    Buffers<float> buffers(frames);
    Lv2Instance plugin(buffers.inPtr, buffers.outPtr);

    plugin.Run(static_cast<std::uint32_t>(frames));
    if (!MatchesCopyLimit(buffers)) {
        state.SkipWithError("LV2 outputs differ from the copy limit");
        return;
    }

    for (auto _ : state) {
        plugin.Run(static_cast<std::uint32_t>(frames));
        benchmark::ClobberMemory();
    }
    CountFrames(state, frames);
}
#endif

void BlockSizes(benchmark::internal::Benchmark* b) {
    for (int frames : kBlockSizes) b->Arg(frames);
    b->Unit(benchmark::kNanosecond);
}

BENCHMARK(BM_Plugin<float>)->Name("Plugin/float")->Apply(BlockSizes);
BENCHMARK(BM_Clap<float>)->Name("Clap/float")->Apply(BlockSizes);
BENCHMARK(BM_Vst3<float>)->Name("Vst3/float")->Apply(BlockSizes);
BENCHMARK(BM_CopyLimit<float>)->Name("CopyLimit/float")->Apply(BlockSizes);
#if defined(__SSE2_MATH__)
BENCHMARK(BM_Plugin<float, Fpu::FlushDenormals>)->Name("Plugin/float-ftz")->Apply(BlockSizes);
BENCHMARK(BM_Clap<float, Fpu::FlushDenormals>)->Name("Clap/float-ftz")->Apply(BlockSizes);
BENCHMARK(BM_Vst3<float, Fpu::FlushDenormals>)->Name("Vst3/float-ftz")->Apply(BlockSizes);
BENCHMARK(BM_CopyLimit<float, Fpu::FlushDenormals>)->Name("CopyLimit/float-ftz")->Apply(BlockSizes);
#endif
BENCHMARK(BM_Plugin<double>)->Name("Plugin/double")->Apply(BlockSizes);
BENCHMARK(BM_Clap<double>)->Name("Clap/double")->Apply(BlockSizes);
BENCHMARK(BM_Vst3<double>)->Name("Vst3/double")->Apply(BlockSizes);
BENCHMARK(BM_CopyLimit<double>)->Name("CopyLimit/double")->Apply(BlockSizes);
#if defined(MULTICHANNEL_PATCHER_LV2_PATH)
BENCHMARK(BM_Lv2<>)->Name("Lv2/float")->Apply(BlockSizes);
#if defined(__SSE2_MATH__)
BENCHMARK(BM_Lv2<Fpu::FlushDenormals>)->Name("Lv2/float-ftz")->Apply(BlockSizes);
#endif
#endif

// Keeps the console output and remembers the time per frame of every run, for
// the summary. With repetitions, the median of the repetitions counts.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto counter = run.counters.find("per_frame");
            if (run.error_occurred || counter == run.counters.end()) continue;
            const double nanoseconds = counter->second.value * 1e9;
            // With only the aggregates reported, their median stands for the repetitions.
            if (run.run_type == Run::RT_Iteration)
                measured[run.benchmark_name()].push_back(nanoseconds);
            else if (run.aggregate_name == "median")
                medians[run.run_name.str()] = nanoseconds;
        }
    }

    void PrintSummary() const {
        std::printf("\n%-9s %7s %16s %16s %8s %16s %10s %16s %10s\n", "samples", "frames", "plug-in ns/frame",
                    "copy ns/frame", "ratio", "CLAP ns/frame", "CLAP/VST2", "VST3 ns/frame", "VST3/VST2");
        for (const char* precision : {"float", "float-ftz", "double"})
            for (int frames : kBlockSizes) {
                const std::string suffix = std::string(precision) + "/" + std::to_string(frames);
                const double plugin = Median("Plugin/" + suffix);
                const double copy = Median("CopyLimit/" + suffix);
                const double clap = Median("Clap/" + suffix);
                const double vst3 = Median("Vst3/" + suffix);
                if (plugin <= 0.0 || copy <= 0.0 || clap <= 0.0 || vst3 <= 0.0) continue;
                std::printf("%-9s %7d %16.3f %16.3f %8.2f %16.3f %10.3f %16.3f %10.3f\n", precision, frames, plugin,
                            copy, plugin / copy, clap, clap / plugin, vst3, vst3 / plugin);
            }
        if (Median("Lv2/float/512") <= 0.0) return;
        std::printf("\n%-9s %7s %16s %16s %8s\n", "samples", "frames", "LV2 ns/frame", "VST 2 ns/frame", "ratio");
        for (const char* precision : {"float", "float-ftz"})
            for (int frames : kBlockSizes) {
                const std::string suffix = std::string(precision) + "/" + std::to_string(frames);
                const double lv2 = Median("Lv2/" + suffix);
                const double vst2 = Median("Plugin/" + suffix);
                if (lv2 <= 0.0 || vst2 <= 0.0) continue;
                std::printf("%-9s %7d %16.3f %16.3f %8.2f\n", precision, frames, lv2, vst2, lv2 / vst2);
            }
    }

private:
    double Median(const std::string& name) const {
        if (const auto median = medians.find(name); median != medians.end()) return median->second;
        const auto found = measured.find(name);
        if (found == measured.end() || found->second.empty()) return 0.0;
        std::vector<double> values = found->second;
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }

    std::map<std::string, std::vector<double>> measured;
    std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
