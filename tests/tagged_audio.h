// Audio whose every input sample tells where it came from, and what a test of
// a format's test host reads back from its outputs. Audio is any of the test
// hosts' buffer sets: `frames` and `Output(channel, frame)`.
#pragma once

#include <cmath>
#include <utility>

constexpr int kTaggedChannels = 16;

// A distinct value per channel and frame; in double precision one that float
// cannot hold, so a pass through single precision would show.
template <class Sample>
Sample DistinctInput(int channel, int frame) {
    return Sample(channel + 1) + Sample(1) / Sample(frame + 3);
}

// Input c of frame j holds a number that no other input of that frame holds.
template <class Sample>
Sample Tagged(int channel, int frame) {
    return Sample(channel + 1 + kTaggedChannels * (frame % 4096));
}

// Frames where outputs 3 to 16 are not silent, or outputs 1 and 2 carry
// anything but an input of their own frame or 0.
template <class Sample, template <class> class Audio>
int BadFrames(const Audio<Sample>& audio) {
    int bad = 0;
    for (int j = 0; j < audio.frames; ++j) {
        bool ok = true;
        for (int c = 2; c < kTaggedChannels; ++c) ok &= audio.Output(c, j) == Sample(0);
        for (int o = 0; o < 2; ++o) {
            const double source = double(audio.Output(o, j)) - 1 - kTaggedChannels * double(j % 4096);
            ok &= audio.Output(o, j) == Sample(0) ||
                  (source >= 0 && source < kTaggedChannels && source == std::floor(source));
        }
        bad += !ok;
    }
    return bad;
}

// The input channel each output carried throughout the block, -1 for
// silence, -2 for anything else.
template <class Sample, template <class> class Audio>
std::pair<int, int> Sources(const Audio<Sample>& audio) {
    int found[2];
    for (int o = 0; o < 2; ++o) {
        const Sample first = audio.Output(o, 0);
        found[o] = first == Sample(0) ? -1 : int(first) - 1;
        for (int j = 0; j < audio.frames; ++j)
            if (audio.Output(o, j) != (found[o] < 0 ? Sample(0) : Tagged<Sample>(found[o], j))) found[o] = -2;
    }
    return {found[0], found[1]};
}
