// The multi-channel patcher: puts a chosen input channel on each of the first
// two outputs and silences the rest.
#pragma once

#include "relaxed.h"
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
    void SectionStartCopies();
    void ResetVariables();
};
