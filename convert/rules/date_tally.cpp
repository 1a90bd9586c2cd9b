#include "date_tally.h"

#include "byte_scan.h"
#include "normalise.h"

namespace vantrelix {

namespace {

struct Number {
  unsigned value = 0;
  int digits = 0;
};

// One to four digits from `i`; more are no number of a date.
bool ReadDigits(std::string_view t, size_t& i, Number& n) {
  n = {};
  while (i < t.size() && IsDigit(t[i])) {
    if (++n.digits > 4) return false;
    n.value = n.value * 10 + static_cast<unsigned>(t[i++] - '0');
  }
  return n.digits > 0;
}

void SkipBlanks(std::string_view t, size_t& i) {
  while (i < t.size() && t[i] == ' ') ++i;
}

// The separator after a number: the byte there, or a blank when only blanks
// stand between two numbers. '\0' for none.
char ReadSeparator(std::string_view t, size_t& i) {
  const size_t start = i;
  SkipBlanks(t, i);
  if (i >= t.size()) return '\0';
  if (IsDigit(t[i])) return i > start ? ' ' : '\0';
  const char c = t[i++];
  SkipBlanks(t, i);
  return c;
}

unsigned TwoDigits(std::string_view t, size_t at) {
  return static_cast<unsigned>(t[at] - '0') * 10 + static_cast<unsigned>(t[at + 1] - '0');
}
unsigned FourDigits(std::string_view t, size_t at) {
  return TwoDigits(t, at) * 100 + TwoDigits(t, at + 2);
}

void Place(DateReadings& r, DateOrder order, Number year, unsigned month, unsigned day,
           int currentYear, int window) {
  int64_t y = year.value;
  if (year.digits <= 2) y = PlaceShortYear(y, currentYear, window);
  if (y < 1 || y > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(y, month)) {
    return;
  }
  r.reads |= static_cast<OrderMask>(1u << order);
  r.dates[order] = {y, month, day};
}

}  // namespace

DateReadings ReadingsOf(std::string_view t, int currentYear, int window) {
  DateReadings r;
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  bool digitsOnly = !t.empty();
  for (char c : t) digitsOnly = digitsOnly && IsDigit(c);
  if (digitsOnly && (t.size() == 6 || t.size() == 8)) {
    const bool six = t.size() == 6;
    r.shape = six ? DateShape::kSixDigits : DateShape::kEightDigits;
    const Number a{TwoDigits(t, 0), 2};
    const unsigned b = TwoDigits(t, 2);
    if (six) {
      const Number c{TwoDigits(t, 4), 2};
      Place(r, kYearMonthDay, a, b, c.value, currentYear, window);
      Place(r, kDayMonthYear, c, b, a.value, currentYear, window);
      Place(r, kMonthDayYear, c, a.value, b, currentYear, window);
    } else {
      Place(r, kYearMonthDay, {FourDigits(t, 0), 4}, TwoDigits(t, 4), TwoDigits(t, 6), currentYear,
            window);
      const Number year{FourDigits(t, 4), 4};
      Place(r, kDayMonthYear, year, b, a.value, currentYear, window);
      Place(r, kMonthDayYear, year, a.value, b, currentYear, window);
    }
    return r;
  }

  size_t i = 0;
  Number n1, n2, n3;
  if (!ReadDigits(t, i, n1)) return r;
  const char sep = ReadSeparator(t, i);
  if (sep == '\0' || !ReadDigits(t, i, n2) || ReadSeparator(t, i) != sep || !ReadDigits(t, i, n3)) {
    return r;
  }
  if (i < t.size() && (sep == ' ' || t[i++] != sep || i < t.size())) return r;
  r.shape = DateShape::kSeparated;
  r.separator = sep;
  Place(r, kMonthDayYear, n3, n1.value, n2.value, currentYear, window);
  Place(r, kDayMonthYear, n3, n2.value, n1.value, currentYear, window);
  Place(r, kYearMonthDay, n1, n2.value, n3.value, currentYear, window);
  Place(r, kYearDayMonth, n1, n3.value, n2.value, currentYear, window);
  Place(r, kDayYearMonth, n2, n3.value, n1.value, currentYear, window);
  return r;
}

LayoutOrder LayoutOrderOf(int32_t layout, const RegionalSettings& settings) {
  switch (layout) {
    case 0:
      switch (DateFieldOrderOf(settings.shortDatePattern)) {
        case DateFieldOrder::kDayFirst:
          return {DateShape::kSeparated, kDayMonthYear};
        case DateFieldOrder::kYearFirst:
          return {DateShape::kSeparated, kYearMonthDay};
        case DateFieldOrder::kMonthFirst:
          break;
      }
      return {DateShape::kSeparated, kMonthDayYear};
    case 1:
      return {DateShape::kSeparated, kYearMonthDay};
    case 2:
      return {DateShape::kSeparated, kDayYearMonth};
    case 3:
      return {DateShape::kEightDigits, kYearMonthDay};
    case 4:
      return {DateShape::kSixDigits, kYearMonthDay};
    case kDayFirstLayout:
      return {DateShape::kSeparated, kDayMonthYear};
    case kMonthFirstLayout:
      return {DateShape::kSeparated, kMonthDayYear};
    default:
      return {};
  }
}

int32_t LayoutOfOrder(DateShape shape, DateOrder order) {
  switch (shape) {
    case DateShape::kSeparated:
      switch (order) {
        case kMonthDayYear:
          return kMonthFirstLayout;
        case kDayMonthYear:
          return kDayFirstLayout;
        case kYearMonthDay:
          return 1;
        case kDayYearMonth:
          return 2;
        case kYearDayMonth:
          return -1;
      }
      return -1;
    case DateShape::kSixDigits:
      return order == kYearMonthDay ? 4 : -1;
    case DateShape::kEightDigits:
      return order == kYearMonthDay ? 3 : -1;
    case DateShape::kNone:
      break;
  }
  return -1;
}

std::string OrderName(DateShape shape, DateOrder order) {
  static constexpr const char* kSeparated[kDateOrderCount] = {
      "month first", "day first", "year first", "year, day, month", "day, year, month"};
  static constexpr const char* kSix[3] = {"mmddyy", "ddmmyy", "yymmdd"};
  static constexpr const char* kEight[3] = {"mmddyyyy", "ddmmyyyy", "yyyymmdd"};
  switch (shape) {
    case DateShape::kSeparated:
      return kSeparated[order];
    case DateShape::kSixDigits:
      return order < 3 ? kSix[order] : "";
    case DateShape::kEightDigits:
      return order < 3 ? kEight[order] : "";
    case DateShape::kNone:
      break;
  }
  return "";
}

DateJudgement JudgeDate(std::string& field, const SetupRecord& record,
                        const RegionalSettings& settings, int currentYear) {
  DateJudgement j;
  if (field.empty()) return j;
  const DateReadings readings = ReadingsOf(field, currentYear, settings.centuryWindowYears);
  j.shape = readings.shape;
  j.reads = readings.reads;
  j.separator = readings.separator;
  if (!DateConvert(field, record, settings, currentYear)) {
    j.verdict = DateVerdict::kUnread;
    return j;
  }
  j.verdict = DateVerdict::kRead;
  // The field is "mm/dd/yy" now, by the regional separator (none for NUL).
  const unsigned month = TwoDigits(field, 0);
  const unsigned day = TwoDigits(field, field.size() == 8 ? 3 : 2);
  const unsigned year = TwoDigits(field, field.size() - 2);
  for (int o = 0; o < kDateOrderCount; ++o) {
    const CivilDate& d = readings.dates[static_cast<size_t>(o)];
    if ((j.reads >> o & 1) != 0 &&
        (d.month != month || d.day != day || static_cast<unsigned>(d.year % 100) != year)) {
      j.differs |= static_cast<OrderMask>(1u << o);
    }
  }
  return j;
}

int64_t DateTally::Doubtful() const {
  int64_t n = 0;
  for (size_t s = 0; s < kDateShapeCount; ++s) {
    if (revealed_[s] == 0) continue;
    for (size_t m = 1; m < 32; ++m) {
      if ((m & revealed_[s]) != 0) n += readDiffering_[s][m];
    }
  }
  return n;
}

std::vector<DateTally::Example> DateTally::DoubtfulExamples() const {
  std::vector<Example> out;
  for (const Noted& e : examples_) {
    if ((e.differs & revealed_[static_cast<size_t>(e.shape)]) == 0) continue;
    out.push_back(e.example);
    if (out.size() == kExamples) break;
  }
  return out;
}

int64_t DateTally::UnreadInOtherOrders() const {
  int64_t n = 0;
  for (const auto& shape : unreadByReads_) {
    for (size_t m = 1; m < 32; ++m) n += shape[m];
  }
  return n;
}

std::string DateTally::OtherOrdersText() const {
  std::string text;
  for (size_t s = 0; s < kDateShapeCount; ++s) {
    for (int o = 0; o < kDateOrderCount; ++o) {
      if ((revealed_[s] >> o & 1) == 0) continue;
      if (!text.empty()) text += " or ";
      text += OrderName(static_cast<DateShape>(s), static_cast<DateOrder>(o));
    }
  }
  return text;
}

bool DateTally::OnlyDayMonthSwap() const {
  constexpr OrderMask kDayMonth = 1u << kMonthDayYear | 1u << kDayMonthYear;
  const auto separated = static_cast<size_t>(DateShape::kSeparated);
  if (inUse_.shape != DateShape::kSeparated ||
      (inUse_.order != kMonthDayYear && inUse_.order != kDayMonthYear) ||
      (revealed_[separated] & ~kDayMonth) != 0) {
    return false;
  }
  for (size_t s = 0; s < kDateShapeCount; ++s) {
    if (s != separated && revealed_[s] != 0) return false;
  }
  return true;
}

DateTally::Better DateTally::BetterLayout() const {
  Better best;
  for (size_t s = 0; s < kDateShapeCount; ++s) {
    for (int o = 0; o < kDateOrderCount; ++o) {
      const int32_t layout = LayoutOfOrder(static_cast<DateShape>(s), static_cast<DateOrder>(o));
      if (layout < 0) continue;
      int64_t reads = 0;
      for (size_t m = 1; m < 32; ++m) {
        if ((m >> o & 1) != 0) reads += byReads_[s][m];
      }
      if (reads > best.reads) {
        best = {layout, static_cast<DateShape>(s) == DateShape::kSeparated ? separator_ : '/',
                reads};
      }
    }
  }
  if (best.reads <= read_) return {};
  return best;
}

}  // namespace vantrelix
