// Fuzz target: the input is a sequence of host requests, decoded front to
// back; multi-byte numbers are little-endian and every read past the end
// gives 0. Each step begins with one byte whose value modulo 8 picks it:
//   0 dispatcher: opcode (1 byte, modulo 81), index (4), value (8), option
//     (4, float bits), payload length (1) and the payload, copied into the
//     zeroed buffer passed as the pointer
//   1 setParameter: parameter, value. A parameter is 1 byte: below 0x80 it is
//     that byte modulo 3, else 4 more bytes give any int32. A value is 1 byte:
//     0 to 16 mean that many 16ths, else 4 more bytes give any float's bits
//   2 getParameter: parameter as above
//   3 processReplacing, 4 processDoubleReplacing: frames (1 byte, below 0xF0
//     that many, else 2 more bytes modulo 4097), style (1 byte: bit 0 in
//     place, the rest picks the kind of samples), seed (8)
//   5 a state save, then a load from the very pointer the save returned
//   6 effSetChunk: length (2 bytes, modulo 1025), flag (1 byte: odd puts the
//     marker first), then that many bytes
//   7 the host's time information: flag (1 byte: odd means the host gives
//     none), then the bytes of the VstTimeInfo record it answers with
// After every step the routing invariant and the state round trip must hold.
#include <optional>

#include "fuzz_host.h"

using namespace fuzz_host;

namespace {

constexpr std::size_t kMaxSteps = 512;
constexpr std::size_t kPointerBuffer = 2048;

class Session {
public:
    Session() { plugin.emplace(); }

    void Step(Bytes& in) {
        switch (in.Take<std::uint8_t>() % 8) {
        case 0: Dispatch(in); break;
        case 1: {
            const VstInt32 parameter = Parameter(in);
            const float value = Normalized(in);
            effect()->setParameter(effect(), parameter, value);
            break;
        }
        case 2: {
            const VstInt32 parameter = Parameter(in);
            Require(std::isfinite(effect()->getParameter(effect(), parameter)), "getParameter answers a finite number");
            break;
        }
        case 3: Process(in, single); break;
        case 4: Process(in, twice); break;
        case 5: {
            void* data = nullptr;
            const VstIntPtr size = plugin->Dispatch(effGetChunk, 0, 0, &data);
            Require(plugin->Dispatch(effSetChunk, 0, size, data) == size, "a state load answers its byte count");
            break;
        }
        case 6: {
            std::vector<unsigned char> chunk(in.Take<std::uint16_t>() % 1025);
            const bool marker = in.Take<std::uint8_t>() % 2;
            chunk.resize(in.Copy(chunk.data(), chunk.size()));
            if (marker && chunk.size() >= sizeof(float))
                std::memcpy(chunk.data(), &routing_model::kMarker, sizeof(float));
            const auto size = static_cast<VstIntPtr>(chunk.size());
            Require(plugin->Dispatch(effSetChunk, 0, size, chunk.data()) == size,
                    "a state load answers its byte count");
            break;
        }
        default:
            Host().giveTime = in.Take<std::uint8_t>() % 2 == 0;
            Host().time = {};
            in.Copy(&Host().time, sizeof Host().time);
            break;
        }
        ProbeRouting(effect());
        RequireStateRoundTrip(effect());
    }

private:
    AEffect* effect() { return plugin->effect; }

    static VstInt32 Parameter(Bytes& in) {
        const auto b = in.Take<std::uint8_t>();
        return b < 0x80 ? b % 3 : in.Take<std::int32_t>();
    }

    static float Normalized(Bytes& in) {
        const auto b = in.Take<std::uint8_t>();
        return b <= 16 ? static_cast<float>(b) / 16.0f : in.Take<float>();
    }

    // Any opcode with any arguments, except where the request's contract
    // makes the value a pointer or bounds it by the data the pointer holds.
    void Dispatch(Bytes& in) {
        const VstInt32 opcode = in.Take<std::uint8_t>() % 81;
        const auto index = in.Take<std::int32_t>();
        auto value = static_cast<VstIntPtr>(in.Take<std::int64_t>());
        const auto option = in.Take<float>();
        std::memset(buffer, 0, sizeof buffer);
        in.Copy(buffer, in.Take<std::uint8_t>());

        void* arrangements[2] = {};
        if (opcode == effSetChunk) {
            const auto size = static_cast<VstInt32>(value);
            value =
                size > static_cast<VstInt32>(kPointerBuffer) ? size % static_cast<VstInt32>(kPointerBuffer + 1) : size;
        } else if (opcode == effGetSpeakerArrangement) {
            value = reinterpret_cast<VstIntPtr>(&arrangements[0]);
        } else if (opcode == effSetSpeakerArrangement) {
            value = reinterpret_cast<VstIntPtr>(buffer + kPointerBuffer / 2);
        }
        plugin->Dispatch(opcode, index, value, buffer, option);
        // A closed plug-in is gone; the host goes on with a new one.
        if (opcode == effClose) plugin.emplace();
    }

    template <class Sample>
    void Process(Bytes& in, Audio<Sample>& audio) {
        const auto b = in.Take<std::uint8_t>();
        const int frames = b < 0xF0 ? b : in.Take<std::uint16_t>() % 4097;
        const auto style = in.Take<std::uint8_t>();
        const auto seed = in.Take<std::uint64_t>();
        const int kind = (style >> 1) % 4;
        audio.Process(effect(), frames, style & 1, [&](int c, int j) { return MakeSample<Sample>(kind, seed, c, j); });
        audio.RequireRoutingInvariant();
    }

    std::optional<PluginInstance> plugin;
    Audio<float> single;
    Audio<double> twice;
    alignas(16) unsigned char buffer[kPointerBuffer] = {};
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LoadedPlugin();
    Host();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Host().giveTime = true;
    Host().time = {};
    Session session;
    Bytes in(data, size);
    for (std::size_t step = 0; step < kMaxSteps && !in.Empty(); ++step) session.Step(in);
    return 0;
}
