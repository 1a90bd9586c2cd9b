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
// Layouts 1 to 7 build a month/day/year text, read as it was built; layout
// 0 leaves the field to the regional order.
inline constexpr std::array<std::string_view, 8> kDateLayoutItems = {"mm/dd/yy",
                                                                     "yy/mm/dd",
                                                                     "dd/yy/mm",
                                                                     "yyyymmdd",
                                                                     "yymmdd",
                                                                     "dd/mm/yy (day first)",
                                                                     "mm/dd/yy (month first)",
                                                                     "dd mmm yyyy (month name)"};
inline constexpr int32_t kDayFirstLayout = 5;
inline constexpr int32_t kMonthFirstLayout = 6;
inline constexpr int32_t kMonthNameLayout = 7;
inline constexpr std::array<std::string_view, 11> kTimeLayoutItems = {
    "hh:mm am", "hh:mmam", "hh:mma", "hh:mm a", "hh:mm (Military) ", "hhmm (Military)",
    "hhmmam",   "hhmm am", "hhmma",  "hhmm a",  "hh:mm (7am-6:59pm)"};

// Replaces `text` by its part from the 1-based `position` to the next
// `delimiter` (or the end), and moves `position` past that delimiter. A part
// of one character gets a "0" in front. An empty text, or a position past
// the end, leaves the position where it is.
void DataDelimited(std::string& text, int32_t& position, char delimiter);

// The date layouts that cut the field at the Delimiting Char; the others
// take fixed columns or the field as it came. Time layouts that cut the field
// at theirs are 0 to 4 and 10.
inline bool DateLayoutTakesDelimiter(int32_t layout) {
  return layout == 1 || layout == 2 || layout == kDayFirstLayout || layout == kMonthFirstLayout;
}
inline bool TimeLayoutTakesDelimiter(int32_t layout) {
  return (layout >= 0 && layout <= 4) || layout == 10;
}

// The month/day/year text a date layout builds from the field; none for a
// layout outside 0..7, and an empty text when the layout cannot account for
// every character of the field (blanks at either end aside). Month names are
// read in English and, when `regional` is given, in its language.
std::optional<std::string> DateCandidate(std::string_view field, int32_t layout, char delimiter,
                                         const RegionalSettings* regional = nullptr);

// The hour:minutes text a time layout builds from the whole field (seconds
// and a marker behind them included); none for a layout outside 0..10, an
// empty text when the layout cannot take the field. Layout 10 appends its
// " am" / " pm" to `field` itself.
std::optional<std::string> TimeCandidate(std::string& field, int32_t layout, char delimiter);

// The length of a morning or afternoon marker that `text` starts with: "a",
// "am", with points or without ("a.", "a.m.", "a.m", "am.") in any case (p for the afternoon, which
// sets `afternoon`); 0 for none. A marker read stands alone: the caller checks what follows.
size_t MarkerLength(std::string_view text, bool& afternoon);

// Layout 10's hour number: a signed 32-bit reading of the piece that accepts
// "$", "x" and "0x" hexadecimal prefixes and stops before an overflow.
int32_t ReadHourNumber(std::string_view piece);

// Rewrites a date field as "mm/dd/yy" (by the regional separator), or leaves
// it exactly as it came when it cannot be read in the record's layout. True
// when the field was rewritten.
bool DateConvert(std::string& field, const SetupRecord& record, const RegionalSettings& settings,
                 int currentYear);

// Rewrites a time field as "hh:mm am" / "hh:mm pm", or leaves it exactly as
// it came when it cannot be read. True when the field was rewritten.
bool TimeConvert(std::string& field, const SetupRecord& record, const RegionalSettings& settings);

// How the date text of a layout is read: layout 0 by the regional order and
// separator, the others month first with "/".
DateReading DateReadingOf(int32_t layout, const RegionalSettings& settings);

// The same by the general rules alone, without the shortcut for plain
// fields (fast_normalise.h): the reference the shortcut is held to.
bool DateConvertGeneral(std::string& field, const SetupRecord& record,
                        const RegionalSettings& settings, int currentYear);
bool TimeConvertGeneral(std::string& field, const SetupRecord& record,
                        const RegionalSettings& settings);

}  // namespace vantrelix
