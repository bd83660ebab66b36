// The multi-channel patcher: puts a chosen input channel on each of the first
// two outputs and silences the rest.
#pragma once

#include <array>
#include <cstdint>

#include "relaxed.h"
#include "script_index.h"
#include "vexil.h"

class TVexilEffect final : public TVexil {
public:
    static constexpr int kChannels = 16;
    static constexpr int kSerializedSliders = 64;

    TVexilEffect();
    ~TVexilEffect() override = default;

    void DoSlider() override;
    void DoBlock() override;
    void DoSample() override;
    void DoOpen() override;
    void DoInit() override;
    void DoSerialize() override;

    // The process entries' frame loop for the declared channel count: inputs
    // into Samples, DoSample, Samples out, for every frame. Outputs, Samples
    // and the effect variables end up bit for bit as that loop leaves them.
    template <class Sample>
    void SampleFrames(Sample* const* inputs, Sample* const* outputs, std::int32_t frames);

    // Shared between the audio thread and the threads that set parameters or
    // load state, so every one is a relaxed atomic. All 0.0 from construction.
    Relaxed<double> DisplayUpdateRequest;
    Relaxed<double> SampleRate, HostSampleRate;
    Relaxed<double> ChannelCount, HostChannelCount;
    Relaxed<double> BlockSize, HostBlockSize;
    Relaxed<double> Tempo, HostTempo;
    Relaxed<double> TimeSigNumerator, HostTimeSigNumerator;
    Relaxed<double> TimeSigDenominator, HostTimeSigDenominator;
    Relaxed<double> Output1Source;
    Relaxed<double> Output2Source;
    Relaxed<double> LastDisplayUpdateTime;
    Relaxed<double> LatencySamples;
    Relaxed<double> ReportedLatency;
    Relaxed<double> PlayState;
    Relaxed<double> BeatPosition;
    Relaxed<double> SerializeIndex;
    Relaxed<double> Output1Sample, Output2Sample;
    Relaxed<double> ZeroSample;

private:
    struct RouteSample;

    // Frames in one run: as many as the staging below holds.
    static constexpr std::int32_t kRunFrames = 1024;
    // Shorter runs go frame by frame: the regrouping would not pay.
    static constexpr std::int32_t kShortRun = 8;

    void SectionStartCopies();
    void ResetVariables();

    std::int32_t RunEnd(double source1, double source2, std::int32_t begin, std::int32_t limit) const;
    template <class Sample>
    bool RouteRun(Sample* const* inputs, Sample* const* outputs, std::int32_t begin, std::int32_t end,
                  double source1, double source2, bool routable, RouteSample route);
    template <class Sample>
    void RouteFrames(Sample* const* inputs, Sample* const* outputs, std::int32_t begin, std::int32_t end,
                     double source1, double source2, RouteSample route);
    double KeptSample(std::int32_t slot) const;
    void LeaveLastFrame(double routed1, double routed2);
    template <class Sample>
    void ExchangeFrames(Sample* const* inputs, Sample* const* outputs, std::int32_t begin, std::int32_t end);

    // The routed samples of a run, read before any of its outputs is written.
    std::array<double, kRunFrames> Routed1{}, Routed2{};
};

// Defined here so that the frame loops, which call it once per frame, inline it.
inline void TVexilEffect::SectionStartCopies() {
    SampleRate = Finite(HostSampleRate);
    ChannelCount = Finite(HostChannelCount);
    BlockSize = Finite(HostBlockSize);
    Tempo = Finite(HostTempo);
    TimeSigNumerator = Finite(HostTimeSigNumerator);
    TimeSigDenominator = Finite(HostTimeSigDenominator);
}

inline void TVexilEffect::DoSample() {
    SectionStartCopies();
    Output1Sample = Finite(SampleAt(Output1Source));
    Output2Sample = Finite(SampleAt(Output2Source));
    ZeroSample = 0.0;
    Samples[0] = Finite(Output1Sample);
    Samples[1] = Finite(Output2Sample);
    for (int channel = 2; channel < kChannels; ++channel) Samples[static_cast<std::size_t>(channel)] = Finite(ZeroSample);
}
