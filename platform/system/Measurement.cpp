#include "platform/system/Measurement.h"

#include <langinfo.h>
#include <locale.h>

namespace pagimo::system {

TMeasurementSystem MeasurementSystemOf(const std::string& localeName) {
    locale_t loc = newlocale(LC_MEASUREMENT_MASK, localeName.c_str(), static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return TMeasurementSystem::msMetric;
    // glibc answers 1 for metric and 2 for U.S. units in the first byte.
    const char* value = nl_langinfo_l(_NL_MEASUREMENT_MEASUREMENT, loc);
    const bool us = value && value[0] == 2;
    freelocale(loc);
    return us ? TMeasurementSystem::msUS : TMeasurementSystem::msMetric;
}

TMeasurementSystem LocaleMeasurementSystem() {
    static const TMeasurementSystem system = MeasurementSystemOf("");
    return system;
}

} // namespace pagimo::system
