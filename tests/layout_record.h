#pragma once

#include <cstdint>

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

}  // namespace vantrelix::testing
