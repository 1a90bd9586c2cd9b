#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "regional.h"

namespace vantrelix {

// A date followed by a time in one field, as spreadsheets, database reports
// and booking systems write them: "12/14/2026 8:00:00 PM",
// "2026-12-14 09:30:00.0", "2026-12-14T09:30:00+01:00", "20261214 083000",
// "December 14, 2026 9:30 am". The time is the field's last part, after one
// or more blanks or a "T"; the date is what stands before them.
struct DateTimeCell {
  std::string_view date;  // as it stands, for the date layout
  std::string time;       // hours, minutes, seconds and marker, without fraction or zone
  int hour = 0;           // 0..23
  int minute = 0;
  bool zoned = false;   // a "Z" or an offset followed the time
  int zoneMinutes = 0;  // the offset east of UTC
};

inline constexpr size_t kLongestDateAndTime = 80;

// The field as a date and a time; none when it does not end in a time after
// a date-like part (one that holds a digit or a letter).
std::optional<DateTimeCell> SplitDateTimeCell(std::string_view field);

// The date part of a field that holds a time as well; the field otherwise.
std::string_view DatePartOf(std::string_view field);

// Where a zoned time falls in `zone` (an IANA name; empty or unknown: UTC):
// the days to add to `date` and the local hour and minute. The date is
// needed for the zone's summer time. False when `date` is no ISO date
// ("yyyy-mm-dd", "yyyymmdd"), the only dates written with zones.
struct LocalTime {
  int dayShift = 0;
  int hour = 0;
  int minute = 0;
};
std::optional<LocalTime> ZonedToLocal(const DateTimeCell& cell, const std::string& zone);

// Whether a field ends in a time zone ("Z", "+01:00", "-0500"): a cheap look
// for the pass, which says once that it converted such times.
bool EndsInZone(std::string_view field);

}  // namespace vantrelix
