// The bundle's identity and port layout, shared by the plug-in and the tool
// that writes its TTL. Simple hosts map file channels to ports by index, so
// the audio ports come first, inputs before outputs.
#pragma once

#include <cstdint>

#include "patcher_plugin.h"

namespace lv2_ports {

inline constexpr const char* kUri = "urn:brindlefox:multichannel-patcher";

constexpr std::uint32_t kChannels = CPatcherPlugin::kChannels;
constexpr std::uint32_t kFirstInput = 0;
constexpr std::uint32_t kFirstOutput = kFirstInput + kChannels;
// One control port per parameter; the TTL tool refuses a description with
// another number of parameters.
constexpr std::uint32_t kControls = 2;
constexpr std::uint32_t kFirstControl = kFirstOutput + kChannels;
constexpr std::uint32_t kTime = kFirstControl + kControls;
constexpr std::uint32_t kCount = kTime + 1;

}  // namespace lv2_ports
