// The samples of the frame being processed, one per channel, and the block
// and sample sections that work on them.
#pragma once

#include <array>
#include <cstdint>

#include "script_index.h"
#include "vexil_sliders.h"

class CVexilSamples : public CVexilSliders {
public:
    static constexpr std::int32_t kSampleSlots = 64;

    virtual void DoBlock() {}
    virtual void DoSample() {}

    // Slot of a computed channel number: script rounding, then the low six bits.
    static std::int32_t SampleSlot(double x) { return ScriptIndex(x) & (kSampleSlots - 1); }
    double& SampleAt(double x) { return Samples[static_cast<std::size_t>(SampleSlot(x))]; }

    // Touched only by the process calls, so a plain array.
    std::array<double, kSampleSlots> Samples{};

protected:
    CVexilSamples() = default;
    ~CVexilSamples() = default;
};
