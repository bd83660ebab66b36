// The slider values a script reads and writes as plain numbers, and the
// declaration record that describes each slider to the host.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "relaxed.h"
#include "script_index.h"
#include "vexil_vest.h"

struct TVexilSlider {
    std::vector<std::string> Enums;  // value names, one per step; empty for a numeric slider
    bool IsPrepared = false;
    std::int32_t Index = 0;  // slot of Values holding this slider's value
    Relaxed<double>* Variable = nullptr;  // script variable mirroring the value, if any
    double Default = 0.0;
    double Min = 0.0;
    double Max = 0.0;
    double Step = 0.0;
    std::string Path;
    std::string Text;
    std::string Label;
    std::string Name;
};

// Normalised value the host sees: 0 at Min, 1 at Max; not clamped. A slider
// without a range, or a value without a number, answers 0.
float SliderNormalized(const TVexilSlider& slider, double value);

// Slider value for a normalised host value, quantised to multiples of Step
// counted from zero (no quantising for a Step of 0 or less). Not clamped.
double SliderFromNormalized(const TVexilSlider& slider, double normalized);

// Slider value for a plain value from a host that speaks in slider values:
// quantised as above, then held within Min..Max.
double SliderQuantized(const TVexilSlider& slider, double value);

// Slider value a display text stands for: one of the value names exactly, or
// for a slider without names a number. False for any other text.
bool SliderFromText(const TVexilSlider& slider, std::string_view text, double& value);

// Display text: the value's name, or the value with two decimals for a
// slider without names. Always zero-terminated within `size` bytes.
void SliderDisplay(const TVexilSlider& slider, double value, char* text, std::size_t size);

class CVexilSliders : public CVexilVeST {
public:
    static constexpr std::int32_t kSliderSlots = 128;

    virtual void DoSlider() {}

    // Slot of a computed slider number: script rounding, then the low seven bits.
    Relaxed<double>& SliderAt(double x) { return Values[static_cast<std::size_t>(ScriptIndex(x) & (kSliderSlots - 1))]; }

    std::array<Relaxed<double>, kSliderSlots> Values{};

protected:
    CVexilSliders() = default;
    ~CVexilSliders() = default;
};
