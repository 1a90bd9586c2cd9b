#pragma once

#include <string>
#include <string_view>

#include "regional.h"

namespace vantrelix {

// The month (1 to 12) a word names: an English month, three or more of its
// first letters ("Dec", "Sept"), or a name of the regional language; any
// case. 0 for none.
int MonthNamed(std::string_view word, const RegionalSettings* regional);

// The month/day/year text of a date written with a month name: the day and
// the year on either side of the month ("14 Dec 2026", "2026 Dec 14"), or
// the month first ("December 14, 2026", "Dec 14th 2026"), a weekday name in
// front allowed, blanks, "-", "." or "," between the parts. Empty when the
// field is no such date, as a whole (blanks at either end aside).
std::string MonthNameDateText(std::string_view field, const RegionalSettings* regional);

}  // namespace vantrelix
