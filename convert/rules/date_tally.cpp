#include "date_tally.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "byte_scan.h"
#include "comma.h"
#include "date_time_cell.h"
#include "normalise.h"

namespace vantrelix {

namespace {

struct Number {
  unsigned value = 0;
  int digits = 0;
};

// One to four digits from `p`; more are no number of a date.
bool ReadDigits(const char*& p, const char* end, Number& n) {
  const char* const start = p;
  unsigned v = 0;
  while (p < end && IsDigit(*p)) v = v * 10 + static_cast<unsigned>(*p++ - '0');
  n = {v, static_cast<int>(p - start)};
  return n.digits > 0 && n.digits <= 4;
}

// The separator after a number: the byte there, or a blank when only blanks
// stand between two numbers. '\0' for none.
char ReadSeparator(const char*& p, const char* end) {
  const char* const start = p;
  while (p < end && *p == ' ') ++p;
  if (p >= end) return '\0';
  if (IsDigit(*p)) return p > start ? ' ' : '\0';
  const char c = *p++;
  while (p < end && *p == ' ') ++p;
  return c;
}

unsigned TwoDigits(const char* t) {
  return static_cast<unsigned>(t[0] - '0') * 10 + static_cast<unsigned>(t[1] - '0');
}

// Most orders fail on the month or the day at once; only the others are
// placed in their century and checked against the calendar.
void Place(DateReadings& r, DateOrder order, Number year, unsigned month, unsigned day,
           int currentYear, int window) {
  if (month - 1 >= 12 || day - 1 >= 31) return;
  int64_t y = year.value;
  if (year.digits <= 2) y = PlaceShortYear(y, currentYear, window);
  if (y < 1 || y > 9999 || day > DaysInMonth(y, month)) return;
  r.reads |= static_cast<OrderMask>(1u << order);
  r.dates[order] = {y, month, day};
}

}  // namespace

DateReadings ReadingsOf(std::string_view text, int currentYear, int window) {
  DateReadings r;
  text = WithoutEndBlanks(text);
  const char* p = text.data();
  const char* const end = p + text.size();
  const char* digitsEnd = p;
  while (digitsEnd < end && IsDigit(*digitsEnd)) ++digitsEnd;
  if (digitsEnd == end) {
    const auto size = end - p;
    if (size != 6 && size != 8) return r;
    r.shape = size == 6 ? DateShape::kSixDigits : DateShape::kEightDigits;
    const Number a{TwoDigits(p), 2};
    const unsigned b = TwoDigits(p + 2);
    if (size == 6) {
      const Number c{TwoDigits(p + 4), 2};
      Place(r, kYearMonthDay, a, b, c.value, currentYear, window);
      Place(r, kDayMonthYear, c, b, a.value, currentYear, window);
      Place(r, kMonthDayYear, c, a.value, b, currentYear, window);
    } else {
      Place(r, kYearMonthDay, {a.value * 100 + b, 4}, TwoDigits(p + 4), TwoDigits(p + 6),
            currentYear, window);
      const Number year{TwoDigits(p + 4) * 100 + TwoDigits(p + 6), 4};
      Place(r, kDayMonthYear, year, b, a.value, currentYear, window);
      Place(r, kMonthDayYear, year, a.value, b, currentYear, window);
    }
    return r;
  }

  Number n1, n2, n3;
  if (!ReadDigits(p, end, n1)) return r;
  const char sep = ReadSeparator(p, end);
  if (sep == '\0' || !ReadDigits(p, end, n2) || ReadSeparator(p, end) != sep ||
      !ReadDigits(p, end, n3)) {
    return r;
  }
  if (p < end && (sep == ' ' || *p++ != sep || p < end)) return r;  // one trailing separator
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
  const DateReadings readings =
      ReadingsOf(DatePartOf(field), currentYear, settings.centuryWindowYears);
  j.shape = readings.shape;
  j.reads = readings.reads;
  j.separator = readings.separator;
  const LayoutOrder inUse = LayoutOrderOf(record.DateLayout(), settings);
  const bool readsInUse = inUse.shape == readings.shape && (j.reads >> inUse.order & 1) != 0;
  if (!DateConvert(field, record, settings, currentYear)) {
    j.verdict = DateVerdict::kUnread;
    j.readsInUse = readsInUse;
    return j;
  }
  j.verdict = DateVerdict::kRead;
  const bool known = readsInUse;
  const auto away = [currentYear](int64_t y) {
    return y < currentYear ? currentYear - y : y - currentYear;
  };
  const int64_t written = known ? away(readings.dates[inUse.order].year) : 0;
  // The field is "mm/dd/yy" now, by the regional separator (none for NUL).
  const char* const out = field.data();
  const unsigned month = TwoDigits(out);
  const unsigned day = TwoDigits(out + (field.size() == 8 ? 3 : 2));
  const unsigned year = TwoDigits(out + field.size() - 2);
  for (unsigned reads = j.reads; reads != 0; reads &= reads - 1) {
    const int o = std::countr_zero(reads);
    const CivilDate& d = readings.dates[static_cast<size_t>(o)];
    if (d.month != month || d.day != day || static_cast<unsigned>(d.year % 100) != year) {
      const auto bit = static_cast<OrderMask>(1u << o);
      j.differs |= bit;
      if (known && away(d.year) < written) j.nearer |= bit;
      if (known && away(d.year) > written) j.farther |= bit;
    }
  }
  return j;
}

DateJudge::DateJudge(const SetupRecord& record, const RegionalSettings& settings, int currentYear)
    : record_(record), settings_(settings), currentYear_(currentYear) {}

const DateJudgement& DateJudge::JudgeAgain(std::string_view raw, bool quoted, std::string& scratch,
                                           std::string_view& written, const Answer* known) {
  scratch.clear();
  AppendColumnText(scratch, raw, quoted);
  written = scratch;
  // Unread texts are remembered too, their judgement without the text.
  if (known != nullptr) return known->judgement;
  Answer answer;
  answer.judgement = JudgeDate(scratch, record_, settings_, currentYear_);
  written = scratch;
  if (answer.judgement.verdict != DateVerdict::kRead) {
    memo_.Note(answer);
  } else if (!scratch.empty() && scratch.size() <= sizeof answer.out) {
    answer.outSize = static_cast<uint8_t>(scratch.size());
    std::memcpy(answer.out, scratch.data(), scratch.size());
    memo_.Note(answer);
  }
  judged_ = answer.judgement;
  return judged_;
}

namespace {

// The orders that read every read date of a shape, with years nearer to now
// on the whole than the order in use.
OrderMask NearerEverywhere(const std::array<int64_t, 32>& readByReads,
                           const std::array<int64_t, kDateOrderCount>& nearer,
                           const std::array<int64_t, kDateOrderCount>& farther) {
  OrderMask mask = 0;
  int64_t read = 0;
  std::array<int64_t, kDateOrderCount> readIn{};
  for (size_t m = 1; m < 32; ++m) {
    const int64_t n = readByReads[m];
    read += n;
    for (int o = 0; o < kDateOrderCount; ++o) {
      if ((m >> o & 1) != 0) readIn[static_cast<size_t>(o)] += n;
    }
  }
  for (int o = 0; o < kDateOrderCount; ++o) {
    const auto i = static_cast<size_t>(o);
    if (read > 0 && readIn[i] == read && nearer[i] > farther[i]) {
      mask |= static_cast<OrderMask>(1u << o);
    }
  }
  return mask;
}

}  // namespace

OrderMask DateTally::Revealed(DateShape shape) const {
  const auto s = static_cast<size_t>(shape);
  return revealed_[s] | NearerEverywhere(readByReads_[s], nearer_[s], farther_[s]);
}

bool DateTally::RevealedByYearsOnly() const {
  for (size_t s = 0; s < kDateShapeCount; ++s) {
    if (revealed_[s] != 0) return false;
  }
  return true;
}

int64_t DateTally::Doubtful() const {
  int64_t n = 0;
  for (size_t s = 0; s < kDateShapeCount; ++s) {
    const OrderMask revealed = Revealed(static_cast<DateShape>(s));
    if (revealed == 0) continue;
    for (size_t m = 1; m < 32; ++m) {
      if ((m & revealed) != 0) n += readDiffering_[s][m];
    }
  }
  return n;
}

std::vector<DateTally::Example> DateTally::DoubtfulExamples() const {
  std::vector<Example> out;
  std::array<OrderMask, kDateShapeCount> revealed{};
  for (size_t s = 0; s < kDateShapeCount; ++s) revealed[s] = Revealed(static_cast<DateShape>(s));
  for (const Noted& e : examples_) {
    if ((e.differs & revealed[static_cast<size_t>(e.shape)]) == 0) continue;
    out.push_back(e.example);
    if (out.size() == kExamples) break;
  }
  return out;
}

int64_t DateTally::UnreadInOtherOrders() const {
  return unreadRevealing_;
}

std::string DateTally::OtherOrdersText() const {
  std::string text;
  for (size_t s = 0; s < kDateShapeCount; ++s) {
    const OrderMask revealed = Revealed(static_cast<DateShape>(s));
    for (int o = 0; o < kDateOrderCount; ++o) {
      if ((revealed >> o & 1) == 0) continue;
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
      (Revealed(DateShape::kSeparated) & ~kDayMonth) != 0) {
    return false;
  }
  for (size_t s = 0; s < kDateShapeCount; ++s) {
    if (s != separated && Revealed(static_cast<DateShape>(s)) != 0) return false;
  }
  return true;
}

DateTally::Better DateTally::BetterLayout() const {
  Better best;
  for (const SeparatorReads& e : bySeparator_) {
    for (int o = 0; o < kDateOrderCount; ++o) {
      const int32_t layout = LayoutOfOrder(e.shape, static_cast<DateOrder>(o));
      if (layout < 0) continue;
      int64_t reads = 0;
      for (size_t m = 1; m < 32; ++m) {
        if ((m >> o & 1) != 0) reads += e.byReads[m];
      }
      if (reads > best.reads) {
        best = {layout, e.shape == DateShape::kSeparated ? e.separator : '/', reads};
      }
    }
  }
  if (best.reads <= read_) return {};
  return best;
}

}  // namespace vantrelix
