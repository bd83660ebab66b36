// Fuzz target: the CLAP module driven by a host whose requests come from the
// input, decoded front to back; multi-byte numbers are little-endian and
// every read past the end gives 0. Each step begins with one byte whose value
// modulo 6 picks it:
//   0 process: precision (1 byte, odd: double), frames (1 byte, below 0xF0
//     that many, else 2 more bytes modulo 4097), buffers (1 byte: 0 separate,
//     1 in place, else that many frames of offset as a signed byte), samples
//     (1 byte: odd gives any bit patterns), transport (1 byte, odd: none),
//     then events as below
//   1 flush: events as below
//   2 state load: length (2 bytes, modulo 1025), marker (1 byte, odd puts
//     the marker first), bytes per read (1 byte, 0 as 1), failure (1 byte:
//     0xFF none, else the position from which reads fail), then the bytes
//   3 state save: bytes per write (1 byte, 0 as 1)
//   4 activate with a maximum block (4 bytes) if inactive, else deactivate
//   5 texts: parameter (as below), value (as below) to text and back
// Events: count (1 byte, modulo 16), each a frame (2 bytes), a kind (1 byte
// modulo 8: 6 another type, 7 another space, else a value), a parameter (1
// byte: below 0x80 that modulo 3, else 4 more bytes give any id) and a value
// (1 byte: 0 to 16 that value, else 8 more bytes give any double's bits).
// After every step the plug-in must agree with the routing model: outputs
// frame by frame as the events in order route them, parameter values, and
// saved states byte for byte.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "clap_host.h"
#include "fuzz_input.h"
#include "fuzz_steps.h"
#include "routing_model.h"

namespace {

using fuzz_host::Bytes;
using fuzz_host::Require;

struct Event {
    std::uint32_t time;
    bool counts;  // a value event of the core space for one of the parameters
    TClapId id;
    double value;
};

std::vector<Event> TakeEvents(Bytes& in, ClapEvents& events) {
    std::vector<Event> taken;
    events.Clear();
    for (int n = in.Take<std::uint8_t>() % 16; n > 0; --n) {
        const auto time = in.Take<std::uint16_t>();
        const int kind = in.Take<std::uint8_t>() % 8;
        const TClapId id = fuzz_host::TakeParameter(in);
        const double value = fuzz_host::TakeValue(in, 1.0);
        if (kind == 6)
            events.Odd(time, id, value, kClapEventParamMod, kClapCoreEventSpaceId);
        else if (kind == 7)
            events.Odd(time, id, value, kClapEventParamValue, 1);
        else
            events.Param(time, id, value);
        taken.push_back({time, kind < 6 && id < 2, id, value});
    }
    return taken;
}

class Session {
public:
    Session() : plugin(host) {}

    void Step(Bytes& in) {
        switch (in.Take<std::uint8_t>() % 6) {
        case 0: fuzz_host::WithPrecision(in, [&](auto sample) { Process<decltype(sample)>(in); }); break;
        case 1: {
            const auto events = TakeEvents(in, list);
            plugin.Flush(list);
            for (const Event& e : events)
                if (e.counts) model.SetPlainValue(e.id, e.value);
            break;
        }
        case 2: Load(in); break;
        case 3:
            Require(plugin.Save(fuzz_host::TakeStep(in)) == model.SaveState(),
                    "a saved state is the model's");
            break;
        case 4:
            if (plugin.active)
                plugin.Deactivate();
            else
                Require(plugin.Activate(44100.0, in.Take<std::uint32_t>()), "activation succeeds");
            break;
        default: Texts(in); break;
        }
        for (TClapId id : {0u, 1u})
            Require(plugin.Value(id) == model.PlainValue(static_cast<int>(id)), "get_value answers the model's value");
        double value;
        Require(!plugin.params->GetValue(plugin.plugin, 2, &value), "get_value refuses unknown parameters");
    }

private:
    template <class Sample>
    void Process(Bytes& in) {
        const int frames = fuzz_host::TakeFrames(in);
        const auto layout = in.Take<std::int8_t>();
        const bool anyBits = in.Take<std::uint8_t>() % 2;
        const bool noTransport = in.Take<std::uint8_t>() % 2;
        const auto seed = static_cast<std::uint64_t>(frames) * 0x100000001b3ull + static_cast<std::uint8_t>(layout);
        ClapAudio<Sample> audio(frames, layout == 0 ? ClapAudio<Sample>::kSeparate : layout == 1 ? 0 : layout);
        audio.Fill([&](int c, int j) { return fuzz_host::FuzzedSample<Sample>(anyBits, seed, c, j); });
        const auto events = TakeEvents(in, list);
        TClapEventTransport transport{};
        transport.Flags = kClapTransportIsPlaying | kClapTransportHasTempo;
        transport.Tempo = 120.0;
        const std::int32_t status = plugin.Process(audio, &list, noTransport ? nullptr : &transport);
        if (!plugin.active) {
            Require(status == kClapProcessError, "an inactive plug-in renders nothing");
            for (const Event& e : events)
                if (e.counts) model.SetPlainValue(e.id, e.value);
            return;
        }
        if (frames == 0) {
            Require(status == kClapProcessContinue, "a call of no frames goes on");
            for (const Event& e : events)
                if (e.counts) model.SetPlainValue(e.id, e.value);
            return;
        }
        Require(status == kClapProcessContinueIfNotQuiet, "an active plug-in renders");
        // Outputs 3 to 16, and a routed one whose source is "none" and no event of the block touched.
        std::uint64_t constant = 0xFFFC;
        for (int o = 0; o < 2; ++o) {
            const bool touched = std::any_of(events.begin(), events.end(),
                                             [&](const Event& e) { return e.counts && e.id == TClapId(o); });
            if (!touched && model.Source(o) < 0) constant |= std::uint64_t{1} << o;
        }
        Require(audio.outputBuffer.ConstantMask == constant, "the outputs silent all through the block are marked constant");
        // Each stretch between two events as the model routes it.
        std::uint32_t rendered = 0;
        const auto renderUntil = [&](std::uint32_t end) {
            fuzz_host::RequireModelOutputs<Sample>(
                model, rendered, end, kClapChannels, [&](int c, int j) { return audio.Input(c, j); },
                [&](int c, int j) { return audio.Output(c, j); });
        };
        for (const Event& e : events) {
            if (!e.counts) continue;
            renderUntil(std::min<std::uint32_t>(e.time, static_cast<std::uint32_t>(frames)));
            model.SetPlainValue(e.id, e.value);
        }
        renderUntil(static_cast<std::uint32_t>(frames));
    }

    void Load(Bytes& in) {
        const auto [chunk, step, failAt] = fuzz_host::TakeLoad(in);

        // Reads go on until 260 bytes or the end; one at or past failAt fails.
        const std::size_t read = std::min(chunk.size(), routing_model::kStateBytes);
        const bool failed = failAt < routing_model::kStateBytes && failAt <= chunk.size();
        float first = 0.0f;
        if (read >= sizeof first) std::memcpy(&first, chunk.data(), sizeof first);
        const bool loads = !failed && read >= sizeof first && first == routing_model::kMarker;
        Require(plugin.Load(chunk, step, failAt) == loads, "a state load answers whether it loaded");
        if (loads) model.LoadState(chunk.data(), read);
    }

    void Texts(Bytes& in) {
        const TClapId id = fuzz_host::TakeParameter(in);
        const double value = fuzz_host::TakeValue(in, 1.0);
        char text[32];
        const bool shown = plugin.params->ValueToText(plugin.plugin, id, value, text, sizeof text);
        Require(shown == (id < 2 && std::isfinite(value)), "value_to_text shows finite values of known parameters");
        if (!shown) return;
        Require(std::memchr(text, 0, sizeof text) != nullptr, "value_to_text ends its text");
        double back = -1.0;
        Require(plugin.params->TextToValue(plugin.plugin, id, text, &back), "text_to_value takes what it showed");
        Require(back == std::fmin(std::fmax(std::trunc(value), 0.0), 16.0), "texts map values both ways");
    }

    ClapTestHost host;
    ClapInstance plugin;
    routing_model::Model model;
    ClapEvents list;
};

}  // namespace

FUZZ_SESSION_ENTRY_POINTS(Session, ClapModule)
