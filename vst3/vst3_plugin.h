// The VST 3 plug-in: a factory of two classes, the processor (component and
// audio processor) and its edit controller, each translated into the
// patcher's neutral interface.
#pragma once

#include <cstdint>

#include "patcher_plugin.h"
#include "vst3_abi.h"

namespace vst3 {

// What the factory says of the plug-in, and moduleinfo.json with it.
constexpr const char* kProcessorCategory = "Audio Module Class";
constexpr const char* kControllerCategory = "Component Controller Class";
constexpr const char* kSubCategories = "Fx|Tools";
constexpr const char* kSdkVersion = "VST 3.8.1";

// A list parameter of 17 choices, mapped as VST 3 maps lists: normalized v
// picks step min(16, floor(17 v)) and step s shows as s / 16, which is
// within that step's share. NaN picks none (false).
constexpr std::int32_t kStepCount = 16;
bool StepOf(double normalized, double& step);
double NormalizedOf(double step);

}  // namespace vst3

// The factory, there while the library is loaded; each call counts one more
// reference, which the host releases.
TVst3PluginFactory* Vst3Factory();

// The transport of a process call as the patcher's block section takes it;
// null without one.
const TPatcherTransport* PatcherTransport(const TVst3ProcessContext* context, TPatcherTransport& transport);
