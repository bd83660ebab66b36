#include "vexil_description.h"

#include <cmath>
#include <limits>
#include <utility>

#include "vexil_text.h"

void CVexilDescription::AddSlider(std::int32_t index, double defaultValue, double min, double max, double step,
                                  std::string path, std::string text, std::string label, std::string name) {
    SliderAt(index) = defaultValue;
    TVexilSlider slider;
    slider.Index = index;
    slider.Default = defaultValue;
    slider.Min = min;
    slider.Max = max;
    slider.Step = step;
    slider.Path = std::move(path);
    slider.Text = std::move(text);
    slider.Label = std::move(label);
    slider.Name = std::move(name);
    Sliders.push_back(std::move(slider));
    PrepareSlider(Sliders.back());
}

// A slider whose value names live in a data directory would read them here;
// none does, so preparing only marks the record.
void CVexilDescription::PrepareSlider(TVexilSlider& slider) {
    if (slider.IsPrepared) return;
    slider.IsPrepared = true;
}

const TVexilSlider* CVexilDescription::SliderRecord(std::int32_t parameter) const {
    if (parameter < 0 || static_cast<std::size_t>(parameter) >= Sliders.size()) return nullptr;
    return &Sliders[static_cast<std::size_t>(parameter)];
}

float CVexilDescription::GetParameter(std::int32_t parameter) const {
    const TVexilSlider* slider = SliderRecord(parameter);
    if (!slider) return 0.0f;
    return SliderNormalized(*slider, SliderSlot(*slider));
}

void CVexilDescription::SetParameter(std::int32_t parameter, double normalized) {
    const TVexilSlider* slider = SliderRecord(parameter);
    if (!slider || !std::isfinite(normalized)) return;
    const double value = SliderFromNormalized(*slider, normalized);
    // A saved state carries 32-bit floats: a value beyond their range would
    // come back as an infinity, so it is refused like a non-finite one.
    if (!(std::fabs(value) <= std::numeric_limits<float>::max())) return;
    StoreSlider(*slider, value);
}

double CVexilDescription::SliderValue(std::int32_t parameter) const {
    const TVexilSlider* slider = SliderRecord(parameter);
    return slider ? static_cast<double>(SliderSlot(*slider)) : 0.0;
}

bool CVexilDescription::SetSliderValue(std::int32_t parameter, double value) {
    const TVexilSlider* slider = SliderRecord(parameter);
    if (!slider || !std::isfinite(value)) return false;
    StoreSlider(*slider, SliderQuantized(*slider, value));
    return true;
}

void CVexilDescription::StoreSlider(const TVexilSlider& slider, double value) {
    Relaxed<double>& slot = SliderSlot(slider);
    if (IsNearZero(value - slot)) return;
    slot = value;
    if (slider.Variable) *slider.Variable = value;
    DoSlider();
}

void CVexilDescription::GetParameterName(std::int32_t parameter, char* text, std::size_t size) const {
    const TVexilSlider* slider = SliderRecord(parameter);
    CopyText(text, size, slider ? slider->Name : std::string_view{});
}

void CVexilDescription::GetParameterLabel(std::int32_t parameter, char* text, std::size_t size) const {
    const TVexilSlider* slider = SliderRecord(parameter);
    CopyText(text, size, slider ? slider->Label : std::string_view{});
}

void CVexilDescription::GetParameterDisplay(std::int32_t parameter, char* text, std::size_t size) const {
    const TVexilSlider* slider = SliderRecord(parameter);
    if (!slider) {
        CopyText(text, size, {});
        return;
    }
    SliderDisplay(*slider, SliderSlot(*slider), text, size);
}
