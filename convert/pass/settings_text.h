#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "setup_record.h"

namespace vantrelix {

// The settings in words, for admins at a console: what `--show` prints and
// `--set` takes.

// The keys of the seven columns, in FieldSlot order.
inline constexpr std::array<std::string_view, kFieldSlotCount> kFieldKeys = {
    "name", "phone", "date", "time", "doctor", "location", "email"};

// The settings, one line each: the source, the seven columns (with the
// header's text of each when `headings` holds the source's first line split
// into columns), the header flag, the layouts by their item text and the
// delimiting characters.
std::vector<std::string> DescribeSettings(const SetupRecord& record,
                                          const std::vector<std::string>& headings);

// What each key with a list takes, by index and text, one line a key; and
// the columns' range.
std::vector<std::string> SettingChoices();

// Applies KEY=VALUE to the record; gives what is wrong with it, or empty
// text. The keys are kFieldKeys (a column, 0 for none), "source", "header"
// (yes or no), "delimiter" (an item of kFieldDelimiterItems, its index or its
// character), "date-layout" and "time-layout" (an item's text or index),
// "date-delimiter" and "time-delimiter" (one character). "columns" is the
// caller's, since it reads the source.
std::string ApplySetting(SetupRecord& record, std::string_view key, std::string_view value);

}  // namespace vantrelix
