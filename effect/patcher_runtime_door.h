// The runtime behind the door, for the one adapter that still reads its
// records (CPatcherPlugin::Parameter, GetEffect): the build puts it before
// that adapter's sources and their tests', and drops it when the adapter has
// moved onto the neutral types. No other adapter may include it.
#pragma once

#include "patcher_effect.h"
