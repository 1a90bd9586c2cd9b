#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "regional.h"
#include "setup_record.h"

namespace vantrelix {

// The source layouts an operator can choose, indexed by DateLayout and
// TimeLayout. The field selector shows exactly these texts.
inline constexpr std::array<std::string_view, 5> kDateLayoutItems = {
    "mm/dd/yy", "yy/mm/dd", "dd/yy/mm", "yyyymmdd", "yymmdd"};
inline constexpr std::array<std::string_view, 11> kTimeLayoutItems = {
    "hh:mm am", "hh:mmam", "hh:mma", "hh:mm a", "hh:mm (Military) ", "hhmm (Military)",
    "hhmmam",   "hhmm am", "hhmma",  "hhmm a",  "hh:mm (7am-6:59pm)"};

inline constexpr std::string_view kDateOutputPattern = "mm/dd/yy";
inline constexpr std::string_view kTimeOutputPattern = "hh:mm am/pm";

// Replaces `text` by its part from the 1-based `position` to the next
// `delimiter` (or the end), and moves `position` past that delimiter. A part
// of one character gets a "0" in front. An empty text, or a position past
// the end, leaves the position where it is.
void DataDelimited(std::string& text, int32_t& position, char delimiter);

// The month/day/year text a date layout builds from the field; none for a
// layout outside 0..4.
std::optional<std::string> DateCandidate(std::string_view field, int32_t layout, char delimiter);

// The hour:minutes text a time layout builds from the field; none for a
// layout outside 0..10. Layout 10 appends its " am" / " pm" to `field` itself.
std::optional<std::string> TimeCandidate(std::string& field, int32_t layout, char delimiter);

// Layout 10's hour number: a signed 32-bit reading of the piece that accepts
// "$", "x" and "0x" hexadecimal prefixes and stops before an overflow.
int32_t ReadHourNumber(std::string_view piece);

// Rewrites a date field as "mm/dd/yy" (by the regional separator), or leaves
// it exactly as it came when it cannot be read in the record's layout. True
// when the field was rewritten.
bool DateConvert(std::string& field, const SetupRecord& record, const RegionalSettings& settings,
                 int currentYear);

// Rewrites a time field as "hh:mm am" / "hh:mm pm", or leaves it as it is
// (layout 10: with its appended marker) when it cannot be read. True when the
// field was rewritten.
bool TimeConvert(std::string& field, const SetupRecord& record, const RegionalSettings& settings);

// The same by the general rules alone, without the shortcut for plain
// fields (fast_normalise.h): the reference the shortcut is held to.
bool DateConvertGeneral(std::string& field, const SetupRecord& record,
                        const RegionalSettings& settings, int currentYear);
bool TimeConvertGeneral(std::string& field, const SetupRecord& record,
                        const RegionalSettings& settings);

}  // namespace vantrelix
