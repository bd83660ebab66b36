#include "vexil_sliders.h"

#include <cmath>
#include <cstdio>

#include "vexil_text.h"

float SliderNormalized(const TVexilSlider& slider, double value) {
    const double range = slider.Max - slider.Min;
    if (range == 0.0) return 0.0f;
    const auto normalized = static_cast<float>((value - slider.Min) / range);
    return std::isfinite(normalized) ? normalized : 0.0f;
}

double SliderFromNormalized(const TVexilSlider& slider, double normalized) {
    const double lo = slider.Min;
    const double hi = slider.Max;
    const double s = slider.Step;
    const double raw = lo + (hi - lo) * normalized;
    if (!(s > 0.0)) return raw;
    return std::floor((raw + s * 0.5) / s) * s;
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
