// What an effect says about itself: its slider records, names, identifiers
// and channel count, and the host-side parameter operations on the records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vexil_samples.h"

class CVexilDescription : public CVexilSamples {
public:
    // Declares one slider; the caller then appends its value names to
    // Sliders.back().Enums.
    void AddSlider(std::int32_t index, double defaultValue, double min, double max, double step, std::string path,
                   std::string text, std::string label, std::string name);
    void PrepareSlider(TVexilSlider& slider);

    // Host parameter i is the i-th declared slider. An index outside the
    // records reads nothing: 0, an ignored set, an empty text.
    const TVexilSlider* SliderRecord(std::int32_t parameter) const;
    float GetParameter(std::int32_t parameter) const;
    // Takes a normalised value; runs DoSlider when the value moved by at
    // least 0.00001. Non-finite values, and values whose slider value a
    // saved state could not carry, are ignored.
    void SetParameter(std::int32_t parameter, double normalized);
    // For formats whose hosts speak in slider values rather than normalised
    // ones: the stored value, and a store of a plain value (quantised and held
    // within the slider's range; non-finite values ignored) that runs DoSlider
    // when the value moved. False for an unknown parameter or a non-finite value.
    double SliderValue(std::int32_t parameter) const;
    bool SetSliderValue(std::int32_t parameter, double value);
    void GetParameterName(std::int32_t parameter, char* text, std::size_t size) const;
    void GetParameterLabel(std::int32_t parameter, char* text, std::size_t size) const;
    void GetParameterDisplay(std::int32_t parameter, char* text, std::size_t size) const;

    std::vector<TVexilSlider> Sliders;
    std::string EffectName;
    std::string ProductName;
    std::string VendorName;
    std::string ProgramName;
    std::int32_t VendorVersion = 0;
    std::int32_t UniqueId = 0;
    std::int32_t Channels = 0;

protected:
    CVexilDescription() = default;
    ~CVexilDescription() = default;

private:
    Relaxed<double>& SliderSlot(const TVexilSlider& slider) {
        return Values[static_cast<std::size_t>(slider.Index & (kSliderSlots - 1))];
    }
    const Relaxed<double>& SliderSlot(const TVexilSlider& slider) const {
        return Values[static_cast<std::size_t>(slider.Index & (kSliderSlots - 1))];
    }
    void StoreSlider(const TVexilSlider& slider, double value);
};
