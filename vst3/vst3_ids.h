// The plug-in's two VST 3 classes. Hosts file sessions, presets and
// automation under these ids: they never change, or every saved project
// loses the plug-in. Written as four 32-bit words, the way hosts and
// moduleinfo.json print them:
//   processor  1CE26607 02BE43A6 BC5E2828 D7F4E807  (the audio component)
//   controller B990FE59 B6D746F6 ABB23169 775DFD31  (its edit controller)
#pragma once

#include <cstdint>

#include "vst3_abi.h"

struct TVst3ClassId {
    std::uint32_t Words[4];
    constexpr TVst3Uid Uid() const { return Vst3Uid(Words[0], Words[1], Words[2], Words[3]); }
};

constexpr TVst3ClassId kVst3ProcessorClass = {{0x1CE26607, 0x02BE43A6, 0xBC5E2828, 0xD7F4E807}};
constexpr TVst3ClassId kVst3ControllerClass = {{0xB990FE59, 0xB6D746F6, 0xABB23169, 0x775DFD31}};
