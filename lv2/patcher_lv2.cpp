// The LV2 plug-in: each call of the host's goes to CPatcherPlugin. The ports
// are the whole state: run() applies both control values every time, so the
// routing always follows what the host shows.
#include <cstdint>
#include <cstring>

#include <lv2/core/lv2.h>

#include "lv2_options.h"
#include "lv2_ports.h"
#include "lv2_time.h"
#include "patcher_plugin.h"

namespace {

const void* Feature(const LV2_Feature* const* features, const char* uri) {
    for (; features && *features; ++features)
        if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
    return nullptr;
}

class CPatcherLv2 {
public:
    CPatcherLv2(double sampleRate, const LV2_URID_Map* map, const LV2_Options_Option* options)
        : SampleRate(sampleRate), Time(map), MaxFrames(Lv2BlockLength(options, map)) {}

    void Connect(std::uint32_t port, void* data) {
        using namespace lv2_ports;
        if (port >= kFirstInput && port < kFirstInput + kChannels)
            Inputs[port - kFirstInput] = static_cast<float*>(data);
        else if (port >= kFirstOutput && port < kFirstOutput + kChannels)
            Outputs[port - kFirstOutput] = static_cast<float*>(data);
        else if (port >= kFirstControl && port < kFirstControl + kControls)
            Controls[port - kFirstControl] = static_cast<const float*>(data);
        else if (port == kTime)
            TimePort = static_cast<const LV2_Atom_Sequence*>(data);
    }

    void Activate() {
        Time.Reset();
        Plugin.Activate(SampleRate, MaxFrames);
    }
    void Deactivate() { Plugin.Deactivate(); }

    void Run(std::uint32_t frames) {
        for (std::uint32_t i = 0; i < lv2_ports::kControls; ++i)
            if (Controls[i]) Plugin.SetParameterValue(static_cast<std::int32_t>(i), *Controls[i]);
        Time.Run(TimePort, frames, SampleRate, [&](const TPatcherTransport* transport) {
            Plugin.BeginBlock<float>(transport, Inputs, Outputs, frames).Finish();
        });
    }

private:
    const double SampleRate;
    CLv2Time Time;
    const std::int32_t MaxFrames;
    CPatcherPlugin Plugin;
    float* Inputs[lv2_ports::kChannels] = {};
    float* Outputs[lv2_ports::kChannels] = {};
    const float* Controls[lv2_ports::kControls] = {};
    const LV2_Atom_Sequence* TimePort = nullptr;
};

CPatcherLv2& Instance(LV2_Handle handle) { return *static_cast<CPatcherLv2*>(handle); }

LV2_Handle Instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const* features) {
    try {
        return new CPatcherLv2(sampleRate, static_cast<const LV2_URID_Map*>(Feature(features, LV2_URID__map)),
                               static_cast<const LV2_Options_Option*>(Feature(features, LV2_OPTIONS__options)));
    } catch (...) {
        return nullptr;
    }
}

void ConnectPort(LV2_Handle handle, std::uint32_t port, void* data) { Instance(handle).Connect(port, data); }
void Activate(LV2_Handle handle) { Instance(handle).Activate(); }
void Run(LV2_Handle handle, std::uint32_t frames) { Instance(handle).Run(frames); }
void Deactivate(LV2_Handle handle) { Instance(handle).Deactivate(); }
void Cleanup(LV2_Handle handle) { delete &Instance(handle); }
const void* ExtensionData(const char*) { return nullptr; }

const LV2_Descriptor kDescriptor = {
    lv2_ports::kUri, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup, ExtensionData,
};

}  // namespace

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}
