// The library's entry: the descriptor of its one plug-in, whose calls go to
// an instance of CLv2Plugin.
#include <cstdint>
#include <cstring>

#include <lv2/core/lv2.h>

#include "lv2_plugin.h"

namespace {

const void* Feature(const LV2_Feature* const* features, const char* uri) {
    for (; features && *features; ++features)
        if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
    return nullptr;
}

CLv2Plugin& Instance(LV2_Handle handle) { return *static_cast<CLv2Plugin*>(handle); }

LV2_Handle Instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const* features) {
    try {
        return new CLv2Plugin(sampleRate, static_cast<const LV2_URID_Map*>(Feature(features, LV2_URID__map)),
                              static_cast<const LV2_Options_Option*>(Feature(features, LV2_OPTIONS__options)),
                              static_cast<const LV2_Log_Log*>(Feature(features, LV2_LOG__log)));
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
