#include "month_names.h"

#include <array>
#include <vector>

#include "byte_scan.h"

namespace vantrelix {

namespace {

constexpr std::array<std::string_view, 12> kEnglishMonths = {
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};
constexpr std::array<std::string_view, 7> kEnglishDays = {
    "monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"};

bool IsWordByte(char c) {
  return IsAsciiLetter(c) || static_cast<unsigned char>(c) >= 0x80;
}

bool IsPartSeparator(char c) {
  return c == ' ' || c == '-' || c == '.' || c == ',';
}

// `word` is `name`'s start, three letters or more (ASCII, any case).
bool AbbreviatesEnglish(std::string_view word, std::string_view name) {
  if (word.size() < 3 || word.size() > name.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if ((word[i] | 0x20) != name[i]) return false;
  }
  return true;
}

bool NamesOneOf(std::string_view word, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (MarkerTextEquals(word, name)) return true;
  }
  return false;
}

bool IsWeekday(std::string_view word, const RegionalSettings* regional) {
  for (std::string_view day : kEnglishDays) {
    if (AbbreviatesEnglish(word, day)) return true;
  }
  return regional != nullptr && NamesOneOf(word, regional->dayNames);
}

bool IsOrdinalSuffix(std::string_view word) {
  if (word.size() != 2) return false;
  const char a = static_cast<char>(word[0] | 0x20), b = static_cast<char>(word[1] | 0x20);
  return (a == 's' && b == 't') || (a == 'n' && b == 'd') || (a == 'r' && b == 'd') ||
         (a == 't' && b == 'h');
}

struct Part {
  std::string_view text;
  bool number;
};

}  // namespace

int MonthNamed(std::string_view word, const RegionalSettings* regional) {
  for (size_t m = 0; m < kEnglishMonths.size(); ++m) {
    if (AbbreviatesEnglish(word, kEnglishMonths[m])) return static_cast<int>(m) + 1;
  }
  if (regional != nullptr) {
    for (size_t m = 0; m < regional->monthNames.size(); ++m) {
      if (NamesOneOf(word, regional->monthNames[m])) return static_cast<int>(m) + 1;
    }
  }
  return 0;
}

std::string MonthNameDateText(std::string_view field, const RegionalSettings* regional) {
  field = WithoutEndBlanks(field);
  // Words and numbers, and nothing but separators between them.
  std::vector<Part> parts;
  for (size_t i = 0; i < field.size();) {
    const size_t start = i;
    if (IsDigit(field[i])) {
      while (i < field.size() && IsDigit(field[i])) ++i;
      parts.push_back({field.substr(start, i - start), true});
    } else if (IsWordByte(field[i])) {
      while (i < field.size() && IsWordByte(field[i])) ++i;
      const std::string_view word = field.substr(start, i - start);
      // "14th": no part of its own.
      if (!(IsOrdinalSuffix(word) && !parts.empty() && parts.back().number && start > 0 &&
            IsDigit(field[start - 1]))) {
        parts.push_back({word, false});
      }
    } else if (IsPartSeparator(field[i])) {
      ++i;
    } else {
      return {};
    }
    if (parts.size() > 4) return {};
  }
  if (parts.size() == 4 && !parts[0].number && IsWeekday(parts[0].text, regional)) {
    parts.erase(parts.begin());
  }
  if (parts.size() != 3) return {};
  std::string_view day, year;
  int month = 0;
  if (!parts[0].number && parts[1].number && parts[2].number) {
    month = MonthNamed(parts[0].text, regional);  // December 14, 2026
    day = parts[1].text;
    year = parts[2].text;
  } else if (parts[0].number && !parts[1].number && parts[2].number) {
    month = MonthNamed(parts[1].text, regional);
    const bool yearFirst = parts[0].text.size() == 4;  // 2026 Dec 14
    day = yearFirst ? parts[2].text : parts[0].text;
    year = yearFirst ? parts[0].text : parts[2].text;
  }
  if (month == 0 || day.empty() || day.size() > 2 || (year.size() != 2 && year.size() != 4)) {
    return {};
  }
  return std::to_string(month) + "/" + std::string(day) + "/" + std::string(year);
}

}  // namespace vantrelix
