// The test signal of the demo: input channel k carries a sine of k x 250 Hz,
// and an analysis that tells from a channel's content which input it carries.
#pragma once

#include <cstddef>
#include <vector>

constexpr double kToneSpacingHz = 250.0;
constexpr double kToneAmplitude = 0.25;  // -12 dBFS, room for several to add up

inline double ToneFrequency(int channel) { return kToneSpacingHz * channel; }

// frames x channels interleaved samples; channel k (from 1) carries tone k.
std::vector<double> MakeTones(int channels, double sampleRate, long frames);

// The amplitude of the sine at `frequency` in every `stride`-th sample.
double ToneLevel(const double* samples, std::size_t count, std::size_t stride, double frequency, double sampleRate);

struct ChannelContent {
    enum Kind { Silent, Tone, Unrecognised } kind;
    int tone;      // which channel's tone, for Tone
    double level;  // the tone's amplitude, or the channel's RMS level otherwise
};

// Looks for tones 1 to `tones` in one channel of interleaved audio.
ChannelContent IdentifyChannel(const double* samples, std::size_t frames, std::size_t channels,
                               std::size_t channel, int tones, double sampleRate);
