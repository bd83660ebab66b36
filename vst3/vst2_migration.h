// What a host needs to put the VST 3 plug-in where a project holds the VST 2
// one: the class id it derives from the VST 2 plug-in, and that plug-in's
// saved state in the wrappers of the VST 2 preset files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vst3_ids.h"

namespace vst3 {

// The VST 2 plug-in's unique id: 0 since its first release, and saved
// projects name it, so the derived id starts from it as it is.
constexpr std::int32_t kVst2UniqueId = 0;

// "VST", the unique id and the first nine letters of the name in lower case
// (zeros past its end), read as the four words of a class id.
TVst3ClassId Vst2ClassId(std::int32_t uniqueId, std::string_view name);

// Whether the bytes begin as a VST 2 preset (a program or bank chunk,
// maybe behind a wrapper's header) rather than as our own state.
bool LooksLikeVst2Preset(const std::uint8_t* bytes, std::size_t count);

// The plug-in's own chunk inside a VST 2 program or bank chunk of the VST 2
// plug-in, behind an optional wrapper's header. False for parameter lists,
// another plug-in's presets and anything cut short or inconsistent.
bool Vst2PresetChunk(const std::uint8_t* bytes, std::size_t count, const std::uint8_t*& chunk,
                     std::size_t& chunkSize);

}  // namespace vst3
