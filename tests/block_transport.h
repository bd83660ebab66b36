// What the block section sees of a format's transport record: what a flag
// does not vouch for is kept from before, or 0 for the position. One table
// for every format; each suite only says how its format writes a case.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "patcher_effect.h"
#include "patcher_plugin.h"

struct TransportCase {
    bool tempo, signature, beats, playing, recording;  // what the record vouches for
    double tempoValue;
    int numerator;
    double beatsValue;
    double seenTempo, seenNumerator, seenBeats, playState;

    // A flag word from the format's bit for each thing the record vouches for.
    std::uint32_t Flags(std::uint32_t tempoBit, std::uint32_t signatureBit, std::uint32_t beatsBit,
                        std::uint32_t playingBit, std::uint32_t recordingBit) const {
        return (tempo ? tempoBit : 0u) | (signature ? signatureBit : 0u) | (beats ? beatsBit : 0u) |
               (playing ? playingBit : 0u) | (recording ? recordingBit : 0u);
    }
};

inline constexpr TransportCase kTransportCases[] = {
    {true, true, true, true, true, 140.0, 7, 33.25, 140.0, 7.0, 33.25, 5.0},
    {false, false, true, true, false, 150.0, 5, -2.5, 140.0, 7.0, -2.5, 1.0},
    {true, false, false, false, true, 90.0, 3, 8.0, 90.0, 7.0, 0.0, 4.0},
    {false, true, false, false, false, 60.0, 3, 8.0, 90.0, 3.0, 0.0, 0.0},
};

// The cases in order through one plug-in's block section, each as the
// record `write(case)` makes of it; a block without a record reads none.
template <class Write>
void ExpectBlockSectionSeesTransports(Write write) {
    CPatcherPlugin plugin;
    plugin.Activate(48000.0, 16);
    float in[16][4] = {}, out[16][4];
    float* inputs[16];
    float* outputs[16];
    for (int c = 0; c < 16; ++c) {
        inputs[c] = in[c];
        outputs[c] = out[c];
    }
    const TVexilEffect& effect = plugin.GetEffect();
    TPatcherTransport transport;
    int index = 0;
    for (const TransportCase& c : kTransportCases) {
        const auto record = write(c);
        plugin.BeginBlock<float>(PatcherTransport(&record, transport), inputs, outputs, 4).Finish();
        EXPECT_EQ(effect.Tempo, c.seenTempo) << "case " << index;
        EXPECT_EQ(effect.TimeSigNumerator, c.seenNumerator) << "case " << index;
        EXPECT_EQ(effect.BeatPosition, c.seenBeats) << "case " << index;
        EXPECT_EQ(effect.PlayState, c.playState) << "case " << index;
        ++index;
    }
    using Record = decltype(write(kTransportCases[0]));
    EXPECT_EQ(PatcherTransport(static_cast<const Record*>(nullptr), transport), nullptr);
}
