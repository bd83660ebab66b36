// What a format's test expects of a block of its test host's audio (`frames`,
// and Input and Output of a channel and frame): every output bit for bit as
// the routing model routes the block's inputs.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>

#include "routing_model.h"
#include "tagged_audio.h"

// The step that routes no input.
constexpr int kRouteNone = 16;

// Every output of the block as `source(output, frame)` routes it (kRouteNone: silence).
template <class Audio, class Source>
void ExpectOutputsRouted(const Audio& audio, Source source) {
    using Sample = std::remove_cv_t<decltype(audio.Output(0, 0))>;
    for (int j = 0; j < audio.frames; ++j) {
        Sample frame[kTaggedChannels];
        for (int c = 0; c < kTaggedChannels; ++c) frame[c] = audio.Input(c, j);
        for (int c = 0; c < kTaggedChannels; ++c) {
            const int from = c < 2 ? source(c, j) : kRouteNone;
            const Sample expected = routing_model::Routed(from == kRouteNone ? -1 : from, frame);
            const Sample actual = audio.Output(c, j);
            ASSERT_EQ(std::memcmp(&expected, &actual, sizeof expected), 0)
                << "output " << c + 1 << ", frame " << j << " of " << audio.frames << ": " << actual << " is not "
                << expected;
        }
    }
}

// Outputs 1 and 2 from `source1` and `source2` all through the block.
template <class Audio>
void ExpectOutputsRouted(const Audio& audio, int source1, int source2) {
    ExpectOutputsRouted(audio, [&](int o, int) { return o == 0 ? source1 : source2; });
}
