// What the plug-in does to audio and to its state, modelled from its
// documented behaviour and nothing of its code: output 1 and output 2 copy the
// input channel that slider 1 and slider 2 pick, every other output is
// silent, and the state chunk is the marker -1000 followed by sliders 1 to 64
// as 32-bit floats. The soak test and the fuzz targets check the built
// library against it.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace routing_model {

constexpr int kChannels = 16;
constexpr int kSavedSliders = 64;
constexpr float kMarker = -1000.0f;
constexpr std::size_t kStateBytes = sizeof(float) * (kSavedSliders + 1);

// A state chunk: the marker, then these sliders from slider 1 on.
inline std::vector<unsigned char> Chunk(std::vector<float> sliders) {
    sliders.insert(sliders.begin(), kMarker);
    std::vector<unsigned char> bytes(sliders.size() * sizeof(float));
    std::memcpy(bytes.data(), sliders.data(), bytes.size());
    return bytes;
}

inline double FiniteOrZero(double x) { return std::isfinite(x) ? x : 0.0; }

// The input channel (0-based) that a slider value picks, or -1 for silence.
// The value is nudged by 0.0001 away from zero, truncated and masked to the
// 64 sample slots; slots 16 and above hold no input and stay 0. A value
// without a 32-bit integer meaning addresses slot 0.
inline int PickedChannel(double sliderValue) {
    const double v = FiniteOrZero(sliderValue);
    const double nudged = v >= 0.0 ? v + 0.0001 : v - 0.0001;
    const std::int64_t whole = nudged > -2147483649.0 && nudged < 2147483648.0 ? static_cast<std::int64_t>(nudged) : 0;
    const int slot = static_cast<int>(whole & 63);
    return slot < kChannels ? slot : -1;
}

// One output sample: the picked input, or 0 for silence and for an input
// that is not a finite number.
template <class Sample>
Sample Routed(int channel, const Sample* frameInputs) {
    if (channel < 0) return Sample(0);
    const Sample x = frameInputs[channel];
    return std::isfinite(x) ? x : Sample(0);
}

class Model {
public:
    Model() { slider[2] = 1.0; }

    // Parameter p is slider p + 1, range 0..16 in steps of 1. A move of less
    // than 0.00001 is no change; non-finite values, values a saved state
    // could not carry and parameters the plug-in does not have are ignored.
    void SetParameter(std::int32_t parameter, float normalized) {
        if (parameter < 0 || parameter > 1 || !std::isfinite(normalized)) return;
        const double value = std::floor(16.0 * static_cast<double>(normalized) + 0.5);
        if (!(std::fabs(value) <= std::numeric_limits<float>::max())) return;
        double& current = slider[static_cast<std::size_t>(parameter) + 1];
        if (value - current > -0.00001 && value - current < 0.00001) return;
        current = value;
    }

    // A plain value as a CLAP host sets it: truncated to a whole number, as
    // CLAP says, and held within 0..16, with the same tolerance; non-finite values and
    // parameters the plug-in does not have are ignored.
    void SetPlainValue(std::int64_t parameter, double value) {
        if (parameter < 0 || parameter > 1 || !std::isfinite(value)) return;
        const double plain = std::fmin(std::fmax(std::trunc(value), 0.0), 16.0);
        double& current = slider[static_cast<std::size_t>(parameter) + 1];
        if (plain - current > -0.00001 && plain - current < 0.00001) return;
        current = plain;
    }

    // The plain value a CLAP host reads: the input the parameter routes, or
    // 16 for silence.
    double PlainValue(int parameter) const { return Source(parameter) < 0 ? 16.0 : Source(parameter); }

    float GetParameter(std::int32_t parameter) const {
        if (parameter < 0 || parameter > 1) return 0.0f;
        const auto normalized = static_cast<float>(slider[static_cast<std::size_t>(parameter) + 1] / 16.0);
        return std::isfinite(normalized) ? normalized : 0.0f;
    }

    std::vector<unsigned char> SaveState() const {
        std::vector<unsigned char> bytes(kStateBytes);
        Put(bytes, 0, kMarker);
        for (int i = 1; i <= kSavedSliders; ++i) Put(bytes, i, static_cast<float>(slider[static_cast<std::size_t>(i)]));
        return bytes;
    }

    // A chunk that does not begin with the marker changes nothing; one that
    // does restores as many sliders as it holds, in order.
    void LoadState(const void* data, std::size_t size) {
        const std::size_t floats = data ? size / sizeof(float) : 0;
        if (floats == 0 || Get(data, 0) != kMarker) return;
        for (std::size_t i = 1; i < floats && i <= kSavedSliders; ++i) slider[i] = static_cast<double>(Get(data, i));
    }

    // Input channel (0-based) that output 0 or output 1 carries, or -1.
    int Source(int output) const { return PickedChannel(slider[static_cast<std::size_t>(output) + 1]); }

private:
    static void Put(std::vector<unsigned char>& bytes, int index, float value) {
        std::memcpy(bytes.data() + sizeof(float) * static_cast<std::size_t>(index), &value, sizeof value);
    }
    static float Get(const void* data, std::size_t index) {
        float value;
        std::memcpy(&value, static_cast<const unsigned char*>(data) + sizeof(float) * index, sizeof value);
        return value;
    }

    std::array<double, kSavedSliders + 1> slider{};  // slot n holds slider n
};

}  // namespace routing_model
