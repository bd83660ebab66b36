// What both fuzz targets share: the host side that drives the built library
// through its AEffect record, and the invariants checked after every step. A
// broken invariant aborts, which libFuzzer reports as a finding together with
// the input that led to it.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "fuzz_input.h"
#include "plugin_under_test.h"
#include "routing_model.h"

namespace fuzz_host {

using routing_model::kChannels;

template <class T>
auto Bits(T x) {
    std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t> bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

// 16 input and 16 output channels for one process call, processed in place
// (outputs handed in as inputs) when asked. The inputs are kept apart so
// that the outputs can be checked against them afterwards.
template <class Sample>
class Audio {
public:
    template <class Fill>
    void Process(AEffect* effect, int frameCount, bool inPlace, Fill fill) {
        frames = frameCount;
        const auto size = static_cast<std::size_t>(kChannels * frames);
        inputs.resize(size);
        for (int c = 0; c < kChannels; ++c)
            for (int j = 0; j < frames; ++j) inputs[Index(c, j)] = fill(c, j);
        if (inPlace)
            outputs = inputs;
        else
            outputs.assign(size, Sample(-7));
        for (int c = 0; c < kChannels; ++c) {
            outPtr[c] = outputs.data() + Index(c, 0);
            inPtr[c] = inPlace ? outPtr[c] : inputs.data() + Index(c, 0);
        }
        if constexpr (sizeof(Sample) == sizeof(float))
            effect->processReplacing(effect, inPtr, outPtr, frames);
        else
            effect->processDoubleReplacing(effect, inPtr, outPtr, frames);
    }

    // Outputs 3 to 16 are 0; outputs 1 and 2 are finite and each equal, bit
    // for bit, one input of the same frame, or 0.
    void RequireRoutingInvariant() const {
        for (int j = 0; j < frames; ++j) {
            for (int c = 2; c < kChannels; ++c) Require(Output(c, j) == Sample(0), "outputs 3 to 16 are 0");
            for (int o = 0; o < 2; ++o) {
                const Sample x = Output(o, j);
                Require(std::isfinite(x), "outputs 1 and 2 are finite");
                bool found = Bits(x) == Bits(Sample(0));
                for (int c = 0; c < kChannels && !found; ++c) found = Bits(x) == Bits(Input(c, j));
                Require(found, "outputs 1 and 2 each carry an input of their frame, or 0");
            }
        }
    }

    // Every output exactly as the model routes the inputs.
    void RequireRouting(const routing_model::Model& model) const {
        Sample frame[kChannels];
        for (int j = 0; j < frames; ++j) {
            for (int c = 0; c < kChannels; ++c) frame[c] = Input(c, j);
            for (int o = 0; o < 2; ++o)
                Require(Bits(Output(o, j)) == Bits(routing_model::Routed(model.Source(o), frame)),
                        "outputs 1 and 2 carry the inputs the sliders pick");
            for (int c = 2; c < kChannels; ++c) Require(Bits(Output(c, j)) == Bits(Sample(0)), "outputs 3 to 16 are 0");
        }
    }

private:
    std::size_t Index(int channel, int frame) const { return static_cast<std::size_t>(channel * frames + frame); }
    Sample Input(int c, int j) const { return inputs[Index(c, j)]; }
    Sample Output(int c, int j) const { return outputs[Index(c, j)]; }

    int frames = 0;
    std::vector<Sample> inputs, outputs;  // channel after channel
    Sample* inPtr[kChannels] = {};
    Sample* outPtr[kChannels] = {};
};

// Inputs that tell the channels apart, with frames of NaN, infinities and -0.
template <class Sample>
Sample ProbeSample(int channel, int frame) {
    switch (frame % 8) {
    case 3: return std::numeric_limits<Sample>::quiet_NaN();
    case 5: return channel % 2 ? std::numeric_limits<Sample>::infinity() : -std::numeric_limits<Sample>::infinity();
    case 6: return Sample(-0.0);
    default: return Sample(channel + 1 + kChannels * frame);
    }
}

// A few frames in each precision, one of them in place: the routing invariant holds.
inline void ProbeRouting(AEffect* effect) {
    static Audio<float> single;
    static Audio<double> twice;
    single.Process(effect, 8, false, ProbeSample<float>);
    single.RequireRoutingInvariant();
    twice.Process(effect, 8, true, ProbeSample<double>);
    twice.RequireRoutingInvariant();
}

inline std::vector<unsigned char> SaveState(AEffect* effect) {
    void* data = nullptr;
    const VstIntPtr size = effect->dispatcher(effect, effGetChunk, 0, 0, &data, 0.0f);
    Require(size == static_cast<VstIntPtr>(routing_model::kStateBytes) && data, "a saved state is 260 bytes");
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::vector<unsigned char> state(bytes, bytes + size);
    float marker;
    std::memcpy(&marker, state.data(), sizeof marker);
    Require(marker == routing_model::kMarker, "a saved state begins with the marker");
    return state;
}

// getParameter never answers NaN or an infinity, not even for parameters
// the plug-in does not have.
inline void RequireFiniteParameters(AEffect* effect) {
    for (VstInt32 p : {-1, 0, 1, 2})
        Require(std::isfinite(effect->getParameter(effect, p)), "getParameter answers a finite number");
}

// Saving and loading the saved bytes back leaves every getParameter answer
// as it was, bit for bit.
inline void RequireStateRoundTrip(AEffect* effect) {
    RequireFiniteParameters(effect);
    const float before[2] = {effect->getParameter(effect, 0), effect->getParameter(effect, 1)};
    std::vector<unsigned char> state = SaveState(effect);
    const VstIntPtr answer =
        effect->dispatcher(effect, effSetChunk, 0, static_cast<VstIntPtr>(state.size()), state.data(), 0.0f);
    Require(answer == static_cast<VstIntPtr>(state.size()), "a state load answers its byte count");
    for (VstInt32 p : {0, 1})
        Require(Bits(effect->getParameter(effect, p)) == Bits(before[p]),
                "a reloaded state answers the same parameters");
}

// Samples of one kind: channels told apart with specials, any bit pattern at
// all, plain audio, or channels told apart with specials strewn at random.
template <class Sample>
Sample MakeSample(int kind, std::uint64_t seed, int channel, int frame) {
    const std::uint64_t r = Mix(seed ^ (static_cast<std::uint64_t>(channel) << 32) ^ static_cast<std::uint32_t>(frame));
    switch (kind) {
    case 0: return ProbeSample<Sample>(channel, frame);
    case 1: {
        std::conditional_t<sizeof(Sample) == 4, std::uint32_t, std::uint64_t> bits = static_cast<decltype(bits)>(r);
        Sample x;
        std::memcpy(&x, &bits, sizeof x);
        return x;
    }
    case 2: return static_cast<Sample>(static_cast<double>(r >> 11) * 0x1.0p-52 - 1.0);
    default:
        return r % 7 == 0 ? ProbeSample<Sample>(channel, static_cast<int>((r >> 8) % 8))
                          : ProbeSample<Sample>(channel, frame);
    }
}

// The host of every fuzz run: answers the version and time queries and
// records nothing.
inline TestHost& Host() {
    static TestHost host;
    host.record = false;
    return host;
}

}  // namespace fuzz_host
