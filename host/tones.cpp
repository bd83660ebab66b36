#include "tones.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kSilentRms = 1e-5;       // -100 dBFS
constexpr double kToneShareOfPower = 0.9;  // the rest may be noise or leakage

}  // namespace

std::vector<double> MakeTones(int channels, double sampleRate, long frames) {
    std::vector<double> samples(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels));
    for (int c = 0; c < channels; ++c) {
        const double step = 2.0 * std::numbers::pi * ToneFrequency(c + 1) / sampleRate;
        for (long j = 0; j < frames; ++j)
            samples[static_cast<std::size_t>(j) * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                kToneAmplitude * std::sin(step * static_cast<double>(j));
    }
    return samples;
}

// Goertzel's recurrence: one DFT bin at an arbitrary frequency.
double ToneLevel(const double* samples, std::size_t count, std::size_t stride, double frequency, double sampleRate) {
    if (count == 0) return 0.0;
    const double w = 2.0 * std::numbers::pi * frequency / sampleRate;
    const double coefficient = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (std::size_t j = 0; j < count; ++j) {
        const double s0 = samples[j * stride] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(count);
}

ChannelContent IdentifyChannel(const double* samples, std::size_t frames, std::size_t channels,
                               std::size_t channel, int tones, double sampleRate) {
    double energy = 0.0;
    for (std::size_t j = 0; j < frames; ++j) energy += samples[j * channels + channel] * samples[j * channels + channel];
    const double rms = frames ? std::sqrt(energy / static_cast<double>(frames)) : 0.0;
    if (rms < kSilentRms) return {ChannelContent::Silent, 0, rms};
    int best = 0;
    double bestLevel = 0.0;
    for (int k = 1; k <= tones && ToneFrequency(k) < sampleRate / 2.0; ++k) {
        const double level = ToneLevel(samples + channel, frames, channels, ToneFrequency(k), sampleRate);
        if (level > bestLevel) {
            best = k;
            bestLevel = level;
        }
    }
    // A sine of amplitude A carries A^2/2 of power.
    if (best > 0 && bestLevel * bestLevel / 2.0 >= kToneShareOfPower * rms * rms)
        return {ChannelContent::Tone, best, bestLevel};
    return {ChannelContent::Unrecognised, 0, rms};
}
