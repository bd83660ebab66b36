// What the CLAP and VST 3 fuzz targets decode and check alike: block sizes,
// parameters and values, state loads, samples, and outputs frame by frame
// against the routing model. The formats' own steps stay in their targets.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "fuzz_input.h"
#include "routing_model.h"

namespace fuzz_host {

// Frames (1 byte, below 0xF0 that many, else 2 more bytes modulo 4097).
inline int TakeFrames(Bytes& in) {
    const auto b = in.Take<std::uint8_t>();
    return b < 0xF0 ? b : in.Take<std::uint16_t>() % 4097;
}

// Bytes per read or write (1 byte, 0 as 1).
inline std::uint8_t TakeStep(Bytes& in) { return std::max<std::uint8_t>(in.Take<std::uint8_t>(), 1); }

// Precision (1 byte, odd: double): `process` called with a sample of it.
template <class Process>
void WithPrecision(Bytes& in, Process process) {
    if (in.Take<std::uint8_t>() % 2)
        process(double{});
    else
        process(float{});
}

// A parameter (1 byte: below 0x80 that modulo 3, else 4 more bytes give any id).
inline std::uint32_t TakeParameter(Bytes& in) {
    const auto b = in.Take<std::uint8_t>();
    return b < 0x80 ? b % 3 : in.Take<std::uint32_t>();
}

// A value (1 byte: 0 to 16 that value over `unit`, else 8 more bytes give any double's bits).
inline double TakeValue(Bytes& in, double unit) {
    const auto v = in.Take<std::uint8_t>();
    return v <= 16 ? v / unit : in.Take<double>();
}

// A state load: length (2 bytes, modulo 1025), marker (1 byte, odd puts the
// marker first), bytes per read (1 byte, 0 as 1), failure (1 byte: 0xFF none,
// else the position from which reads fail), then the bytes.
struct Load {
    std::vector<std::uint8_t> chunk;
    std::uint8_t step;
    std::size_t failAt;
};

inline Load TakeLoad(Bytes& in) {
    Load load;
    load.chunk.resize(in.Take<std::uint16_t>() % 1025);
    const bool marker = in.Take<std::uint8_t>() % 2;
    load.step = TakeStep(in);
    const auto fail = in.Take<std::uint8_t>();
    load.failAt = fail == 0xFF ? SIZE_MAX : fail * 2u;
    load.chunk.resize(in.Copy(load.chunk.data(), load.chunk.size()));
    if (marker && load.chunk.size() >= sizeof(float))
        std::memcpy(load.chunk.data(), &routing_model::kMarker, sizeof(float));
    return load;
}

// Inputs that tell the channels apart, or any bit patterns at all.
template <class Sample>
Sample FuzzedSample(bool anyBits, std::uint64_t seed, int channel, int frame) {
    if (!anyBits) return Sample(channel + 1 + routing_model::kChannels * frame);
    std::uint64_t x = seed ^ (static_cast<std::uint64_t>(channel) << 40) ^ static_cast<std::uint64_t>(frame);
    x = (x ^ (x >> 31)) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    std::conditional_t<sizeof(Sample) == 4, std::uint32_t, std::uint64_t> bits = static_cast<decltype(bits)>(x);
    Sample sample;
    std::memcpy(&sample, &bits, sizeof sample);
    return sample;
}

// The frames from `rendered` to `end` of `outputs` outputs, bit for bit as
// the model routes the inputs now: outputs 1 and 2 their sources, the rest 0.
// input(c, j) and output(c, j) read the block.
template <class Sample, class Input, class Output>
void RequireModelOutputs(const routing_model::Model& model, std::uint32_t& rendered, std::uint32_t end, int outputs,
                         Input input, Output output) {
    Sample frame[routing_model::kChannels];
    for (; rendered < end; ++rendered) {
        const int j = static_cast<int>(rendered);
        for (int c = 0; c < routing_model::kChannels; ++c) frame[c] = input(c, j);
        for (int c = 0; c < outputs; ++c) {
            const Sample expected = routing_model::Routed(c < 2 ? model.Source(c) : -1, frame);
            const Sample actual = output(c, j);
            Require(std::memcmp(&expected, &actual, sizeof expected) == 0, "outputs are the model's");
        }
    }
}

}  // namespace fuzz_host

// A target's libFuzzer entry points: `module` loaded once before any input,
// then for each input a fresh `Session` taking its steps until the input ends.
#define FUZZ_SESSION_ENTRY_POINTS(Session, module)                                    \
    extern "C" int LLVMFuzzerInitialize(int*, char***) {                              \
        module::Loaded();                                                             \
        return 0;                                                                     \
    }                                                                                 \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        Session session;                                                              \
        fuzz_host::Bytes in(data, size);                                              \
        for (int step = 0; step < 512 && !in.Empty(); ++step) session.Step(in);       \
        return 0;                                                                     \
    }
