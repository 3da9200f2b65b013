#pragma once
// Conversions from report units to whole device units round to the nearest integer
// with halves going to the even neighbour, the rounding every layer shares.

#include <cmath>
#include <cstdint>

namespace pagimo {

using Extended = long double;

// Values outside the 32-bit range (or NaN) saturate instead of being undefined. Every coordinate a
// report draws goes through here, so values inside the range are converted without a call: on x86 by
// the FPU's own store in its rounding mode (to nearest, halves to even, as nearbyint rounds), which
// needs no change of the control word as a truncating conversion does; elsewhere the integer part and
// the fraction, both exact in Extended, decide it.
inline int32_t Rnd(Extended value) {
    if (!(value == value)) return 0;
    if (!(value > -2147483648.0L && value < 2147483647.0L)) return value > 0 ? INT32_MAX : INT32_MIN;
#if defined(__x86_64__) || defined(__i386__)
    long long whole;
    __asm__("fistpll %0" : "=m"(whole) : "t"(value) : "st");
#else
    auto whole = static_cast<int64_t>(value); // towards zero
    const Extended fraction = value - static_cast<Extended>(whole);
    if (fraction > 0.5L || (fraction == 0.5L && (whole & 1) != 0)) {
        ++whole;
    } else if (fraction < -0.5L || (fraction == -0.5L && (whole & 1) != 0)) {
        --whole;
    }
#endif
    if (whole >= INT32_MAX) return INT32_MAX;
    if (whole <= INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(whole);
}

} // namespace pagimo
