#include "lv2_options.h"

#include <cstring>

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>

std::int32_t Lv2BlockLength(const LV2_Options_Option* options, const LV2_URID_Map* map) {
    if (!options || !map) return 0;
    const LV2_URID intType = map->map(map->handle, LV2_ATOM__Int);
    const LV2_URID maxLength = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID nominalLength = map->map(map->handle, LV2_BUF_SIZE__nominalBlockLength);
    std::int32_t max = 0, nominal = 0;
    for (const LV2_Options_Option* option = options; option->key || option->value; ++option) {
        if (option->context != LV2_OPTIONS_INSTANCE || option->type != intType ||
            option->size < sizeof(std::int32_t) || !option->value)
            continue;
        std::int32_t value = 0;
        std::memcpy(&value, option->value, sizeof value);
        if (option->key == maxLength) max = value;
        if (option->key == nominalLength) nominal = value;
    }
    return max > 0 ? max : nominal > 0 ? nominal : 0;
}
