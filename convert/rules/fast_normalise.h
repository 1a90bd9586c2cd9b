#pragma once

#include <cstdint>
#include <string>

#include "regional.h"

namespace vantrelix {

// Dates and times in the shapes exports nearly always have (numbers of one to
// four digits, the configured separators, an optional designator), read and
// written without the intermediate texts of the general rules. Each gives
// exactly what DateConvert / TimeConvert give, or declines and leaves the
// field untouched (false) when the field or the regional settings are
// anything but plain; the general rules then decide.
bool FastDateConvert(std::string& field, int32_t layout, char delimiter,
                     const RegionalSettings& settings, int currentYear);
bool FastTimeConvert(std::string& field, int32_t layout, char delimiter,
                     const RegionalSettings& settings);

}  // namespace vantrelix
