// Fuzz target: the VST 3 module driven by a host whose requests come from the
// input, decoded front to back; multi-byte numbers are little-endian and
// every read past the end gives 0. Each step begins with one byte whose value
// modulo 6 picks it:
//   0 process: precision (1 byte, odd: double), frames (1 byte, below 0xF0
//     that many, else 2 more bytes modulo 4097), buses (1 byte: 0 separate,
//     1 in place, else 2 more bytes give the input and output channel
//     counts modulo 21), samples (1 byte: odd gives any bit patterns),
//     context (1 byte, odd: none, else 1 byte of state flags), then changes
//   1 state load into the component and the controller: length (2 bytes,
//     modulo 1025), marker (1 byte, odd puts the marker first), bytes per
//     read (1 byte, 0 as 1), failure (1 byte: 0xFF none, else the position
//     from which reads fail), then the bytes
//   2 state save: bytes per write (1 byte, 0 as 1)
//   3 setup (sample rate as 8 bytes of a double, maximum block as 4 bytes)
//     and activation if inactive, else deactivation
//   4 texts: parameter (as below), value (as below) to text and back
//   5 odd questions: bus type, direction and index (1 byte each, signed),
//     arrangement counts (1 byte each, modulo 3) and speakers (8 bytes),
//     an interface id (16 bytes)
// Changes: queues (1 byte, modulo 8), each a parameter (1 byte: below 0x80
// that modulo 3, else 4 more bytes give any id) and points (1 byte, modulo
// 8), each an offset (2 bytes, signed) and a value (1 byte: 0 to 16 that
// value over 16, else 8 more bytes give any double's bits).
// After every step the plug-in must agree with the routing model: outputs
// frame by frame as the changes in offset order route them, silence flags,
// saved states byte for byte, and the controller's values after each load.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "fuzz_steps.h"
#include "routing_model.h"
#include "vst3_host.h"

namespace {

using fuzz_host::Bytes;
using fuzz_host::Require;

struct Point {
    TVst3ParamId id;
    std::int32_t offset;
    double value;
};

// The queues of a call as taken, and the order in which their points apply:
// always the first queue's next point of the least offset (held at 0 and
// above), NaN points and unknown parameters passed over.
std::vector<Point> TakeChanges(Bytes& in, Vst3Changes& changes) {
    changes.Clear();
    std::vector<std::vector<Point>> queues;
    for (int q = in.Take<std::uint8_t>() % 8; q > 0; --q) {
        const TVst3ParamId id = fuzz_host::TakeParameter(in);
        changes.NewQueue(id);
        queues.emplace_back();
        for (int n = in.Take<std::uint8_t>() % 8; n > 0; --n) {
            const auto offset = in.Take<std::int16_t>();
            const double value = fuzz_host::TakeValue(in, 16.0);
            changes.Add(id, offset, value);
            if (id < 2 && !std::isnan(value)) queues.back().push_back({id, std::max<std::int32_t>(offset, 0), value});
        }
    }
    std::vector<Point> ordered;
    std::vector<std::size_t> next(queues.size(), 0);
    for (;;) {
        int first = -1;
        for (std::size_t q = 0; q < queues.size(); ++q)
            if (next[q] < queues[q].size() &&
                (first < 0 || queues[q][next[q]].offset < queues[first][next[first]].offset))
                first = static_cast<int>(q);
        if (first < 0) return ordered;
        ordered.push_back(queues[first][next[first]++]);
    }
}

// The step a normalized value picks.
double Step(double normalized) { return std::min(16.0, std::floor(17.0 * std::clamp(normalized, 0.0, 1.0))); }

class Session {
public:
    void Step(Bytes& in) {
        switch (in.Take<std::uint8_t>() % 6) {
        case 0: fuzz_host::WithPrecision(in, [&](auto sample) { Process<decltype(sample)>(in); }); break;
        case 1: Load(in); break;
        case 2:
            Require(plugin.Save(fuzz_host::TakeStep(in)) == model.SaveState(),
                    "a saved state is the model's");
            break;
        case 3: Activation(in); break;
        case 4: Texts(in); break;
        default: Questions(in); break;
        }
    }

private:
    template <class Sample>
    void Process(Bytes& in) {
        const int frames = fuzz_host::TakeFrames(in);
        const auto layout = in.Take<std::uint8_t>();
        const bool inPlace = layout == 1;
        const int inputs = layout < 2 ? kVst3Channels : in.Take<std::uint8_t>() % 21;
        const int outputs = layout < 2 ? kVst3Channels : in.Take<std::uint8_t>() % 21;
        const bool anyBits = in.Take<std::uint8_t>() % 2;
        const bool noContext = in.Take<std::uint8_t>() % 2;
        TVst3ProcessContext context{};
        context.State = noContext ? 0 : in.Take<std::uint8_t>() * 0x2A5u;
        context.Tempo = 120.0;
        context.TimeSigNumerator = context.TimeSigDenominator = 4;
        const auto seed = static_cast<std::uint64_t>(frames) * 0x100000001b3ull + layout;

        // Channels exactly as many as the counts say, for the sanitizers to watch.
        std::vector<std::vector<Sample>> in_(inputs, std::vector<Sample>(frames)), out_(outputs);
        std::vector<Sample*> inPointers(inputs), outPointers(outputs);
        for (int c = 0; c < inputs; ++c) {
            for (int j = 0; j < frames; ++j) in_[c][j] = fuzz_host::FuzzedSample<Sample>(anyBits, seed, c, j);
            inPointers[c] = in_[c].data();
        }
        const std::vector<std::vector<Sample>> original = in_;
        for (int c = 0; c < outputs; ++c) {
            out_[c].assign(frames, Sample(-7));
            outPointers[c] = inPlace && c < inputs ? inPointers[c] : out_[c].data();
        }
        TVst3AudioBusBuffers inBus{}, outBus{};
        inBus.NumChannels = inputs;
        outBus.NumChannels = outputs;
        if constexpr (sizeof(Sample) == sizeof(float)) {
            inBus.Buffers32 = inPointers.data();
            outBus.Buffers32 = outPointers.data();
        } else {
            inBus.Buffers64 = inPointers.data();
            outBus.Buffers64 = outPointers.data();
        }
        const auto points = TakeChanges(in, changes);
        bool silent[2] = {model.Source(0) < 0, model.Source(1) < 0};
        const TVst3Result result = plugin.ProcessBuses<Sample>(&inBus, 1, &outBus, 1, frames, &changes,
                                                               noContext ? nullptr : &context);
        Require(result == kVst3ResultOk, "a process call succeeds");
        if (frames == 0) {
            for (const Point& p : points) model.SetPlainValue(p.id, ::Step(p.value));
            Require(outBus.SilenceFlags == 0, "a call of no frames touches no buffer");
            return;
        }
        std::uint32_t rendered = 0;
        const auto renderUntil = [&](std::uint32_t end) {
            fuzz_host::RequireModelOutputs<Sample>(
                model, rendered, end, outputs, [&](int c, int j) { return c < inputs ? original[c][j] : Sample(0); },
                [&](int c, int j) { return outPointers[c][j]; });
        };
        for (const Point& p : points) {
            renderUntil(std::min<std::uint32_t>(p.offset, static_cast<std::uint32_t>(frames)));
            model.SetPlainValue(p.id, ::Step(p.value));
            silent[p.id] = false;
        }
        renderUntil(static_cast<std::uint32_t>(frames));
        const std::uint64_t all = outputs >= 64 ? ~0ull : (1ull << outputs) - 1;
        const std::uint64_t expected = all & (0xFFFFFFFFFFFFFFFCull | (silent[0] ? 1u : 0u) | (silent[1] ? 2u : 0u));
        Require(outBus.SilenceFlags == expected, "silence flags mark outputs 3 on and outputs of none");
    }

    void Load(Bytes& in) {
        const auto [chunk, step, failAt] = fuzz_host::TakeLoad(in);

        // Reads go on until 260 bytes or the end, for a VST 2 preset on to
        // 4096; one at or past failAt fails.
        const bool preset = chunk.size() >= 4 && (!std::memcmp(chunk.data(), "CcnK", 4) ||
                                                  !std::memcmp(chunk.data(), "VstW", 4));
        const std::size_t limit = preset ? 4096 : routing_model::kStateBytes;
        const bool failed = failAt < limit && failAt <= chunk.size();
        std::size_t begin = 0, read = std::min(chunk.size(), limit);
        const bool unwrapped = !preset || PresetChunk(chunk, read, begin, read);
        float first = 0.0f;
        if (read >= sizeof first) std::memcpy(&first, chunk.data() + begin, sizeof first);
        const bool loads = !failed && unwrapped && read >= sizeof first && first == routing_model::kMarker;
        read = std::min(read, routing_model::kStateBytes);
        const TVst3Result expected = loads ? kVst3ResultOk : kVst3ResultFalse;
        Require(plugin.Load(chunk, step, failAt) == expected, "a state load answers whether it loaded");
        Vst3Stream stream(chunk, step, failAt);
        Require(plugin.controller->Vtbl->SetComponentState(plugin.controller, stream.Interface()) == expected,
                "the controller takes what the component takes");
        if (!loads) return;
        model.LoadState(chunk.data() + begin, read);
        // A chunk too short to hold a value leaves each side's own.
        for (TVst3ParamId id : {0u, 1u})
            Require(read < (id + 2) * sizeof(float) ||
                        plugin.Normalized(id) == model.PlainValue(static_cast<int>(id)) / 16.0,
                    "the controller shows the loaded values");
    }

    // Where the VST 2 plug-in's chunk stands in the first `count` bytes of a
    // program or bank preset (big-endian), behind an optional header whose
    // size counts what follows it.
    static bool PresetChunk(const std::vector<std::uint8_t>& bytes, std::size_t count, std::size_t& begin,
                            std::size_t& size) {
        auto word = [&](std::size_t at, std::size_t& value) {
            if (at + 4 > count) return false;
            value = std::size_t{bytes[at]} << 24 | std::size_t{bytes[at + 1]} << 16 | std::size_t{bytes[at + 2]} << 8 |
                    bytes[at + 3];
            return true;
        };
        auto is = [&](std::size_t at, const char* text) { return at + 4 <= count && !std::memcmp(&bytes[at], text, 4); };
        std::size_t at = 0, header = 0, uniqueId = 0;
        if (is(0, "VstW")) {
            if (!word(4, header) || header > count - 8) return false;
            at = 8 + header;
        }
        const std::size_t sizeAt = is(at + 8, "FPCh") ? at + 56 : is(at + 8, "FBCh") ? at + 156 : 0;
        if (!is(at, "CcnK") || !word(at + 16, uniqueId) || uniqueId != 0 || sizeAt == 0 || !word(sizeAt, size) ||
            size > count - sizeAt - 4)
            return false;
        begin = sizeAt + 4;
        return true;
    }

    void Activation(Bytes& in) {
        TVst3ProcessSetup setup{kVst3Realtime, kVst3Sample32, in.Take<std::int32_t>(), in.Take<double>()};
        const TVst3Result result = plugin.processor->Vtbl->SetupProcessing(plugin.processor, &setup);
        Require(result == (std::isfinite(setup.SampleRate) && setup.SampleRate > 0 ? kVst3ResultOk
                                                                                    : kVst3InvalidArgument),
                "setup takes every positive sample rate");
        if (plugin.active)
            plugin.Stop();
        else
            plugin.Start(setup.MaxSamplesPerBlock);
    }

    void Texts(Bytes& in) {
        const TVst3ParamId id = fuzz_host::TakeParameter(in);
        const double value = fuzz_host::TakeValue(in, 16.0);
        TVst3String128 text{};
        const TVst3Result shown = plugin.controller->Vtbl->GetParamStringByValue(plugin.controller, id, value, text);
        Require(shown == (id >= 2 ? kVst3InvalidArgument : std::isnan(value) ? kVst3ResultFalse : kVst3ResultOk),
                "texts for every value of known parameters but NaN");
        if (shown != kVst3ResultOk) return;
        Require(std::find(text, text + 128, u'\0') != text + 128, "texts end");
        double back = -1.0;
        Require(plugin.controller->Vtbl->GetParamValueByString(plugin.controller, id, text, &back) == kVst3ResultOk,
                "a shown text is taken back");
        Require(back == ::Step(value) / 16.0, "texts map values both ways");
    }

    void Questions(Bytes& in) {
        const auto type = in.Take<std::int8_t>(), direction = in.Take<std::int8_t>(), index = in.Take<std::int8_t>();
        TVst3BusInfo bus{};
        const bool main = type == kVst3Audio && (direction == 0 || direction == 1) && index == 0;
        Require((plugin.component->Vtbl->GetBusInfo(plugin.component, type, direction, index, &bus) == kVst3ResultOk) ==
                    main,
                "only the main audio buses are described");
        const int inCount = in.Take<std::uint8_t>() % 3, outCount = in.Take<std::uint8_t>() % 3;
        TVst3SpeakerArrangement speakers[2];
        speakers[0] = speakers[1] = in.Take<std::uint64_t>();
        const TVst3Result arranged =
            plugin.processor->Vtbl->SetBusArrangements(plugin.processor, speakers, inCount, speakers, outCount);
        const bool sixteen = inCount == 1 && outCount == 1 && __builtin_popcountll(speakers[0]) == 16;
        Require(arranged == (sixteen ? kVst3ResultOk : kVst3ResultFalse), "only 16 channels each way are taken");
        TVst3Tuid iid;
        in.Copy(iid, sizeof iid);
        void* object = &object;
        const TVst3Result found = plugin.component->Vtbl->QueryInterface(plugin.component, iid, &object);
        Require((found == kVst3ResultOk) == (object != nullptr), "an interface is answered or refused");
        if (object) static_cast<TVst3Unknown*>(object)->Vtbl->Release(object);
    }

    Vst3Instance plugin;
    routing_model::Model model;
    Vst3Changes changes;
};

}  // namespace

FUZZ_SESSION_ENTRY_POINTS(Session, Vst3Module)
