#include "settings_text.h"

#include <charconv>

#include "byte_scan.h"
#include "comma.h"
#include "normalise.h"
#include "source_lines.h"
#include "text_file.h"
#include "unread.h"

namespace vantrelix {

namespace {

bool ParseNumber(std::string_view text, int32_t& value) {
  if (text.empty() || !IsDigit(text.front())) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

// An item's text (blanks and case aside) or its index; -1 when neither.
template <size_t N>
int32_t LayoutNamed(const std::array<std::string_view, N>& items, std::string_view value) {
  int32_t index = 0;
  if (ParseNumber(value, index)) return index < static_cast<int32_t>(N) ? index : -1;
  const std::string wanted = AsciiLowerText(WithoutEndBlanks(value));
  for (size_t i = 0; i < N; ++i) {
    if (AsciiLowerText(WithoutEndBlanks(items[i])) == wanted) return static_cast<int32_t>(i);
  }
  return -1;
}

template <size_t N>
std::string LayoutName(const std::array<std::string_view, N>& items, int32_t layout) {
  const std::string_view item = ItemAt(items, layout);
  if (item.empty()) return std::to_string(layout) + " (no layout of the list)";
  return QuotedForLog(item) + " (" + std::to_string(layout) + ")";
}

}  // namespace

std::vector<std::string> DescribeSettings(const SetupRecord& record,
                                          const std::vector<std::string>& headings) {
  std::vector<std::string> lines;
  lines.push_back("source: " + QuotedForLog(record.SourceFileName()));
  for (int f = 0; f < kFieldSlotCount; ++f) {
    const int32_t column = record.Position(static_cast<FieldSlot>(f));
    std::string line = std::string(kFieldKeys[static_cast<size_t>(f)]) + ": ";
    if (column <= 0) {
      line += "0 (none)";
    } else {
      line += "column " + std::to_string(column);
      if (static_cast<size_t>(column) <= headings.size()) {
        line += ", header " + QuotedForLog(headings[static_cast<size_t>(column) - 1]);
      }
    }
    lines.push_back(line);
  }
  lines.push_back(std::string("header: ") +
                  (record.HasHeaderLine() ? "yes (the first line is skipped)" : "no"));
  const char date = record.DateDelimiter(), time = record.TimeDelimiter();
  lines.push_back("date-layout: " + LayoutName(kDateLayoutItems, record.DateLayout()));
  lines.push_back("date-delimiter: " + QuotedForLog(std::string_view(&date, 1)));
  lines.push_back("time-layout: " + LayoutName(kTimeLayoutItems, record.TimeLayout()));
  lines.push_back("time-delimiter: " + QuotedForLog(std::string_view(&time, 1)));
  lines.push_back("delimiter: " +
                  LayoutName(kFieldDelimiterItems, static_cast<int32_t>(record.Delimiter())));
  return lines;
}

namespace {

template <size_t N>
std::string ItemsLine(const char* key, const std::array<std::string_view, N>& items) {
  std::string line = std::string(key) + " takes:";
  for (size_t i = 0; i < N; ++i) {
    line += (i == 0 ? " " : ", ") + std::to_string(i) + " " + QuotedForLog(items[i]);
  }
  return line;
}

}  // namespace

std::vector<std::string> SettingChoices() {
  return {ItemsLine("date-layout", kDateLayoutItems), ItemsLine("time-layout", kTimeLayoutItems),
          ItemsLine("delimiter", kFieldDelimiterItems),
          "the seven columns take: 0 (none) or 1 to " + std::to_string(kMaxColumn)};
}

std::string ApplySetting(SetupRecord& record, std::string_view key, std::string_view value) {
  const auto bad = [&](const std::string& why) {
    return "the value " + QuotedForLog(value) + " of " + std::string(key) + " " + why;
  };
  for (int f = 0; f < kFieldSlotCount; ++f) {
    if (key != kFieldKeys[static_cast<size_t>(f)]) continue;
    int32_t column = 0;
    if (!ParseNumber(value, column) || column > kMaxColumn) {
      return bad("is no column (0 for none, 1 to " + std::to_string(kMaxColumn) + ")");
    }
    record.SetPosition(static_cast<FieldSlot>(f), column);
    return {};
  }
  if (key == "source") {
    if (value.empty()) return bad("is empty");
    if (value.size() > kMaxSourceNameLength) {
      return bad("is longer than " + std::to_string(kMaxSourceNameLength) + " bytes");
    }
    if (value.find('\0') != std::string_view::npos) return bad("holds a NUL");
    record.SetSourceFileName(value);
    return {};
  }
  if (key == "header") {
    const std::string v = AsciiLowerText(value);
    if (v == "yes" || v == "1" || v == "true") {
      record.SetSkipFirstLine(1);
    } else if (v == "no" || v == "0" || v == "false") {
      record.SetSkipFirstLine(0);
    } else {
      return bad("is neither yes nor no");
    }
    return {};
  }
  if (key == "date-layout" || key == "time-layout") {
    const bool dates = key == "date-layout";
    const int32_t layout =
        dates ? LayoutNamed(kDateLayoutItems, value) : LayoutNamed(kTimeLayoutItems, value);
    if (layout < 0) return bad("is no layout of the list (see --show)");
    dates ? record.SetDateLayout(layout) : record.SetTimeLayout(layout);
    return {};
  }
  if (key == "delimiter") {
    // The characters themselves name them too.
    static constexpr std::string_view kCharacters[] = {"", ",", "\t", ";", "|"};
    int32_t d = LayoutNamed(kFieldDelimiterItems, value);
    for (size_t i = 1; d < 0 && i < std::size(kCharacters); ++i) {
      if (value == kCharacters[i]) d = static_cast<int32_t>(i);
    }
    if (d < 0) return bad("is none of \"comma or TAB\", comma, TAB, semicolon, pipe");
    record.SetDelimiter(static_cast<FieldDelimiter>(d));
    return {};
  }
  if (key == "date-delimiter" || key == "time-delimiter") {
    if (value.size() != 1) return bad("is not one character");
    key == "date-delimiter" ? record.SetDateDelimiter(value[0]) : record.SetTimeDelimiter(value[0]);
    return {};
  }
  return "unknown setting " + QuotedForLog(key);
}

}  // namespace vantrelix
