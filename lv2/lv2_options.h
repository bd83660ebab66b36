// The block size a host announces through the options feature.
#pragma once

#include <cstdint>

#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

// bufsz:maxBlockLength, else bufsz:nominalBlockLength, else 0 (unknown).
// Option keys are URIDs: without a map there is nothing to read them by.
std::int32_t Lv2BlockLength(const LV2_Options_Option* options, const LV2_URID_Map* map);
