#include "vexil_sliders.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "vexil_text.h"

float SliderNormalized(const TVexilSlider& slider, double value) {
    const double range = slider.Max - slider.Min;
    if (range == 0.0) return 0.0f;
    const auto normalized = static_cast<float>((value - slider.Min) / range);
    return std::isfinite(normalized) ? normalized : 0.0f;
}

namespace {

double Quantized(double raw, double step) { return step > 0.0 ? std::floor((raw + step * 0.5) / step) * step : raw; }

}  // namespace

double SliderFromNormalized(const TVexilSlider& slider, double normalized) {
    return Quantized(slider.Min + (slider.Max - slider.Min) * normalized, slider.Step);
}

double SliderQuantized(const TVexilSlider& slider, double value) {
    const double lo = std::min(slider.Min, slider.Max);
    const double hi = std::max(slider.Min, slider.Max);
    return std::clamp(Quantized(value, slider.Step), lo, hi);
}

bool SliderFromText(const TVexilSlider& slider, std::string_view text, double& value) {
    if (slider.Enums.empty()) {
        const std::string copy(text);
        char* end = nullptr;
        const double number = std::strtod(copy.c_str(), &end);
        if (copy.empty() || *end != 0 || !std::isfinite(number)) return false;
        value = number;
        return true;
    }
    // The inverse of the display's mapping from values to names.
    const auto last = static_cast<double>(slider.Enums.size() - 1);
    for (std::size_t k = 0; k < slider.Enums.size(); ++k) {
        if (slider.Enums[k] != text) continue;
        value = last > 0.0 ? slider.Min + static_cast<double>(k) * (slider.Max - slider.Min) / last : slider.Min;
        return true;
    }
    return false;
}

void SliderDisplay(const TVexilSlider& slider, double value, char* text, std::size_t size) {
    if (slider.Enums.empty()) {
        if (text && size > 0) std::snprintf(text, size, "%.2f", value);
        return;
    }
    const double last = static_cast<double>(slider.Enums.size() - 1);
    const double range = slider.Max - slider.Min;
    double k = range != 0.0 ? (value - slider.Min) * last / range : 0.0;
    // Clamp before converting, so NaN and huge values stay defined.
    if (!(k > 0.0)) k = 0.0;
    if (k > last) k = last;
    CopyText(text, size, slider.Enums[static_cast<std::size_t>(k)]);
}
