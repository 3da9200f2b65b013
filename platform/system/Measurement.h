#pragma once
// The measurement system of the process locale (LC_MEASUREMENT), which chooses metric or U.S.
// defaults for new pages and size holders.

#include <string>

namespace pagimo::system {

enum class TMeasurementSystem { msMetric, msUS };

// Read once from the environment (LC_ALL, LC_MEASUREMENT, LANG) and kept for the process.
// A locale that is not installed, or "C"/"POSIX", counts as metric.
TMeasurementSystem LocaleMeasurementSystem();

// The measurement system of a named locale ("en_US.UTF-8"); metric when the locale is unknown.
TMeasurementSystem MeasurementSystemOf(const std::string& localeName);

} // namespace pagimo::system
