#pragma once
// Conversions from report units to whole device units round to the nearest integer
// with halves going to the even neighbour, the rounding every layer shares.

#include <cmath>
#include <cstdint>

namespace pagimo {

using Extended = long double;

// Values outside the 32-bit range (or NaN) saturate instead of being undefined.
inline int32_t Rnd(Extended value) {
    if (!(value == value)) return 0;
    const Extended r = std::nearbyint(value); // the default FE_TONEAREST mode rounds halves to even
    if (r >= 2147483647.0L) return INT32_MAX;
    if (r <= -2147483648.0L) return INT32_MIN;
    return static_cast<int32_t>(r);
}

} // namespace pagimo
