// What the CLAP and VST 3 test hosts' audio for one process call shares: 16
// input and 16 output channels of one precision, filled the same way, with
// the inputs as they were before processing kept readable. Each host lays
// out the buffers its own way and points `in` and `out` into them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

template <class Sample>
class HostChannels {
public:
    static constexpr int kChannels = 16;

    explicit HostChannels(int frames)
        : frames(frames), original(kChannels, std::vector<Sample>(static_cast<std::size_t>(frames))) {}
    HostChannels(const HostChannels&) = delete;
    HostChannels& operator=(const HostChannels&) = delete;

    Sample Output(int channel, int frame) const { return out[channel][frame]; }
    Sample Input(int channel, int frame) const { return original[channel][frame]; }

    const int frames;

protected:
    // Inputs from fill(channel, frame), outputs reset to a value no input has.
    template <class Inputs>
    void FillChannels(Inputs fill) {
        for (int c = 0; c < kChannels; ++c)
            for (int j = 0; j < frames; ++j) original[c][j] = fill(c, j);
        for (int c = 0; c < kChannels; ++c) std::fill_n(out[c], frames, Sample(-7));
        for (int c = 0; c < kChannels; ++c) std::copy(original[c].begin(), original[c].end(), in[c]);
    }

    std::vector<std::vector<Sample>> original;
    Sample* in[kChannels];
    Sample* out[kChannels];
};
