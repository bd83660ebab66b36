#include "patcher_effect.h"

#include <chrono>
#include <string>

#include "script_index.h"

namespace {

constexpr const char* kDescription = "Brindlefox_multi-channel patcher 16 ins to 2 outs";

double WallClockSeconds() {
    using namespace std::chrono;
    const auto micros = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return static_cast<double>(micros / 1000000) + static_cast<double>(micros % 1000000) * 0.000001;
}

}  // namespace

TVexilEffect::TVexilEffect() {
    EffectName = kDescription;
    ProductName = kDescription;
    ProgramName = kDescription;
    VendorName = "Brindlefox";
    VendorVersion = 1000;
    UniqueId = 0;
    Channels = kChannels;

    const char* names[] = {"routed to channel 1", "routed to channel 2"};
    for (int slider = 1; slider <= 2; ++slider) {
        AddSlider(slider, slider - 1, 0.0, 16.0, 1.0, "", "", "", names[slider - 1]);
        auto& enums = Sliders.back().Enums;
        // append, not `"..." + std::string`: GCC 12 for 32-bit targets reports a false -Wrestrict on that.
        for (int channel = 1; channel <= kChannels; ++channel)
            enums.push_back(std::string("input channel ").append(std::to_string(channel)));
        enums.push_back("none");
    }
}

void TVexilEffect::ResetVariables() {
    for (Relaxed<double>* v :
         {&DisplayUpdateRequest, &SampleRate, &HostSampleRate, &ChannelCount, &HostChannelCount, &BlockSize,
          &HostBlockSize, &Tempo, &HostTempo, &TimeSigNumerator, &HostTimeSigNumerator, &TimeSigDenominator,
          &HostTimeSigDenominator, &Output1Source, &Output2Source, &LastDisplayUpdateTime, &LatencySamples,
          &ReportedLatency, &PlayState, &BeatPosition, &SerializeIndex, &Output1Sample, &Output2Sample, &ZeroSample})
        *v = 0.0;
}

void TVexilEffect::DoOpen() {
    ClearScriptState();
    ResetVariables();
}

void TVexilEffect::DoInit() {
    HostSampleRate = Finite(QuerySampleRate());
    SampleRate = Finite(HostSampleRate);
    HostChannelCount = Finite(QueryInputCount());
    ChannelCount = Finite(HostChannelCount);
    HostBlockSize = Finite(QueryBlockSize());
    BlockSize = Finite(HostBlockSize);
    HostTempo = Finite(QueryTempo());
    Tempo = Finite(HostTempo);
    TimeSigNumerator = Finite(HostTimeSigNumerator);
    TimeSigDenominator = Finite(HostTimeSigDenominator);
}

void TVexilEffect::DoSlider() {
    SectionStartCopies();
    Output1Source = Finite(Values[1]);
    Output2Source = Finite(Values[2]);
}

void TVexilEffect::DoBlock() {
    if (WallClockSeconds() - LastDisplayUpdateTime > 0.25) {
        if (!IsNearZero(DisplayUpdateRequest)) {
            DisplayUpdateRequest = 0.0;
            QueryUpdateDisplay();
        }
        LastDisplayUpdateTime = Finite(WallClockSeconds());
    }
    if (!IsNearZero(LatencySamples - ReportedLatency)) {
        ReportedLatency = Finite(LatencySamples);
        QuerySetLatency(ScriptIndex(LatencySamples));
    }

    // The service leaves these untouched when the host gives no time information.
    double tempo = HostTempo;
    double numerator = HostTimeSigNumerator;
    double denominator = HostTimeSigDenominator;
    QueryTempoAndTimeSig(&tempo, &numerator, &denominator);
    HostTempo = Finite(tempo);
    HostTimeSigNumerator = Finite(numerator);
    HostTimeSigDenominator = Finite(denominator);

    PlayState = (QueryPlaying() ? 1.0 : 0.0) + (QueryRecording() ? 4.0 : 0.0);
    BeatPosition = Finite(QueryPlayPosition());
    SectionStartCopies();
}

void TVexilEffect::DoSerialize() {
    TVexilFile& stream = SerializeStream();
    SerializeIndex = 1.0;
    for (int pass = 0; pass < 1000000; ++pass) {
        FileVar(stream, SliderAt(SerializeIndex));
        SerializeIndex = SerializeIndex + 1.0;
        if (SerializeIndex > kSerializedSliders) break;
    }
}
