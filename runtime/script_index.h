// How a script turns a value into an array index: nudge by 0.0001 away from
// zero, then truncate toward zero. Callers mask the result to their array size.
#pragma once

#include <cmath>
#include <cstdint>

// Values without an integer meaning (NaN, infinities, anything whose
// truncation does not fit 32 bits) address index 0 rather than reaching an
// undefined conversion: slider values can come from a host's state chunk.
inline std::int32_t ScriptIndex(double x) noexcept {
    const double nudged = x >= 0.0 ? x + 0.0001 : x - 0.0001;
    if (!(nudged > -2147483649.0 && nudged < 2147483648.0)) return 0;
    return static_cast<std::int32_t>(nudged);
}

inline bool IsNearZero(double x) noexcept { return x > -0.00001 && x < 0.00001; }

// A section stores only finite values: NaN and the infinities become 0.
inline double Finite(double x) noexcept { return std::isfinite(x) ? x : 0.0; }
