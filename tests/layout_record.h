#pragma once

#include <cstdint>

#include "regional.h"
#include "setup_record.h"

namespace vantrelix::testing {

// A settings record with only the date and time layouts and delimiters set.
inline SetupRecord LayoutRecord(int32_t dateLayout, char dateDelimiter, int32_t timeLayout = 0,
                                char timeDelimiter = ':') {
  SetupRecord r;
  r.SetDateLayout(dateLayout);
  r.SetDateDelimiter(dateDelimiter);
  r.SetTimeLayout(timeLayout);
  r.SetTimeDelimiter(timeDelimiter);
  return r;
}

// Regional settings that read dates day first, "/" between the numbers.
inline RegionalSettings DayFirstSettings() {
  RegionalSettings s;
  s.shortDatePattern = "dd/MM/yyyy";
  return s;
}

}  // namespace vantrelix::testing
