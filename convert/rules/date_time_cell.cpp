#include "date_time_cell.h"

#include <QDateTime>
#include <QTimeZone>

#include "byte_scan.h"
#include "normalise.h"

namespace vantrelix {

namespace {

// Reads `count` digits at `i`; -1 when they are not there.
int Digits(std::string_view text, size_t& i, size_t count) {
  if (i + count > text.size()) return -1;
  int value = 0;
  for (size_t k = 0; k < count; ++k) {
    if (!IsDigit(text[i + k])) return -1;
    value = value * 10 + (text[i + k] - '0');
  }
  i += count;
  return value;
}

size_t SkipBlanks(std::string_view text, size_t i) {
  while (i < text.size() && text[i] == ' ') ++i;
  return i;
}

// "Z", "+01:00", "+0100", "+01", "-05:00"; gives its length and offset.
size_t ZoneLength(std::string_view text, int& minutes) {
  if (text.empty()) return 0;
  if (text[0] == 'Z' || text[0] == 'z') {
    minutes = 0;
    return 1;
  }
  if (text[0] != '+' && text[0] != '-') return 0;
  size_t i = 1;
  const int hours = Digits(text, i, 2);
  if (hours < 0 || hours > 14) return 0;
  int mins = 0;
  if (i < text.size() && text[i] == ':') {
    ++i;
    if ((mins = Digits(text, i, 2)) < 0) return 0;
  } else if (i + 2 <= text.size() && IsDigit(text[i])) {
    if ((mins = Digits(text, i, 2)) < 0) return 0;
  }
  if (mins > 59) return 0;
  minutes = (text[0] == '-' ? -1 : 1) * (hours * 60 + mins);
  return i;
}

// The time that `tail` is, whole (trailing blanks aside); `compact` allows
// "hhmm" and "hhmmss" (behind a "yyyymmdd").
std::optional<DateTimeCell> ReadTime(std::string_view tail, bool compact, bool afterT) {
  DateTimeCell cell;
  size_t i = 0;
  size_t timeEnd = 0;
  bool seconds = false;
  if (compact && tail.size() >= 4 && IsDigit(tail[2])) {
    cell.hour = Digits(tail, i, 2);
    cell.minute = Digits(tail, i, 2);
    if (cell.hour < 0 || cell.minute < 0) return std::nullopt;
    cell.time = std::string(tail.substr(0, 4));
    size_t s = i;
    if (Digits(tail, s, 2) >= 0) {
      i = s;  // seconds, dropped
      seconds = true;
    }
    timeEnd = i;
  } else {
    size_t hourDigits = i < tail.size() && IsDigit(tail[i]) ? 1 : 0;
    if (hourDigits == 1 && i + 1 < tail.size() && IsDigit(tail[i + 1])) hourDigits = 2;
    if (hourDigits == 0) return std::nullopt;
    cell.hour = Digits(tail, i, hourDigits);
    if (i >= tail.size() || (tail[i] != ':' && tail[i] != '.')) return std::nullopt;
    const char separator = tail[i++];
    if ((cell.minute = Digits(tail, i, 2)) < 0) return std::nullopt;
    if (i < tail.size() && tail[i] == separator) {
      size_t s = i + 1;
      if (Digits(tail, s, 2) < 0) return std::nullopt;
      i = s;
      seconds = true;
    }
    timeEnd = i;
    // A fraction of a second, dropped.
    if (i + 1 < tail.size() && (tail[i] == '.' || tail[i] == ',') && IsDigit(tail[i + 1])) {
      ++i;
      while (i < tail.size() && IsDigit(tail[i])) ++i;
    }
    cell.time = std::string(tail.substr(0, timeEnd));
    // A marker, written with the time.
    const size_t m = SkipBlanks(tail, i);
    bool afternoon = false;
    const size_t marker = MarkerLength(tail.substr(m), afternoon);
    if (marker > 0 && (m + marker == tail.size() || !IsAsciiLetter(tail[m + marker]))) {
      if (cell.hour < 1 || cell.hour > 12) return std::nullopt;
      cell.time += std::string(tail.substr(i, m + marker - i));
      cell.hour = cell.hour % 12 + (afternoon ? 12 : 0);
      i = m + marker;
    }
  }
  if (cell.hour > 23 || cell.minute > 59) return std::nullopt;
  size_t z = SkipBlanks(tail, i);
  // An offset as ISO 8601 writes it, behind seconds or in a "T" form: in
  // "13:00-14:00" the minus begins the end of a range, no zone.
  const std::string_view rest = tail.substr(z);
  const bool offset = !rest.empty() && (rest[0] == '+' || rest[0] == '-');
  if (const size_t zone = ZoneLength(rest, cell.zoneMinutes);
      zone > 0 && (!offset || seconds || afterT)) {
    cell.zoned = true;
    i = z + zone;
  }
  if (!WithoutEndBlanks(tail.substr(i)).empty()) return std::nullopt;
  return cell;
}

bool HasDigitOrLetter(std::string_view text) {
  for (char c : text) {
    if (IsDigit(c) || IsAsciiLetter(c) || static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

}  // namespace

std::optional<DateTimeCell> SplitDateTimeCell(std::string_view field) {
  field = WithoutEndBlanks(field);
  // Longer than any date and time is written ("Wednesday, December 15, 2026
  // 12:30:00.000 PM +01:00"); a notes field is not tried at every blank.
  if (field.size() > kLongestDateAndTime) return std::nullopt;
  // From the right: the first split whose tail is a whole time.
  for (size_t i = field.size(); i-- > 1;) {
    size_t tailStart = 0, headEnd = 0;
    if (field[i] == 'T' && IsDigit(field[i - 1]) && i + 1 < field.size() && IsDigit(field[i + 1])) {
      headEnd = i;
      tailStart = i + 1;
    } else if (field[i] == ' ' && i + 1 < field.size() && field[i + 1] != ' ') {
      tailStart = i + 1;
      headEnd = i;
      while (headEnd > 0 && field[headEnd - 1] == ' ') --headEnd;
    } else {
      continue;
    }
    const std::string_view head = field.substr(0, headEnd);
    if (head.empty() || !HasDigitOrLetter(head)) continue;
    const bool compact = head.size() == 8 && AllDigits(head);
    std::optional<DateTimeCell> cell =
        ReadTime(field.substr(tailStart), compact, field[headEnd] == 'T');
    if (!cell) continue;
    cell->date = head;
    return cell;
  }
  return std::nullopt;
}

std::string_view DatePartOf(std::string_view field) {
  // Only a field with a blank or a "T" can hold both.
  if (field.find_first_of(" T") == std::string_view::npos) return field;
  const std::optional<DateTimeCell> cell = SplitDateTimeCell(field);
  return cell ? cell->date : field;
}

std::optional<LocalTime> ZonedToLocal(const DateTimeCell& cell, const std::string& zone) {
  const std::string_view d = cell.date;
  size_t i = 0;
  int year, month, day;
  if (d.size() == 8) {
    year = Digits(d, i, 4);
    month = Digits(d, i, 2);
    day = Digits(d, i, 2);
  } else if (d.size() == 10 && d[4] == '-' && d[7] == '-') {
    year = Digits(d, i, 4);
    ++i;
    month = Digits(d, i, 2);
    ++i;
    day = Digits(d, i, 2);
  } else {
    return std::nullopt;
  }
  const QDate date(year, month, day);
  if (year < 0 || month < 0 || day < 0 || !date.isValid()) return std::nullopt;
  const QDateTime there(date, QTime(cell.hour, cell.minute), QTimeZone(cell.zoneMinutes * 60));
  QTimeZone local = zone.empty() ? QTimeZone::utc() : QTimeZone(QByteArray::fromStdString(zone));
  if (!local.isValid()) local = QTimeZone::utc();
  const QDateTime here = there.toTimeZone(local);
  return LocalTime{static_cast<int>(date.daysTo(here.date())), here.time().hour(),
                   here.time().minute()};
}

bool EndsInZone(std::string_view field) {
  // The shortest date a time may follow ("1.1.1") and the shortest zoned time
  // ("9:30Z"): the pass's plain times ("09:30 am") are turned away at once.
  constexpr size_t kShortestZoned = 11;
  if (field.size() < kShortestZoned) return false;
  field = WithoutEndBlanks(field);
  if (field.empty()) return false;
  const char last = field.back();
  if (last != 'Z' && last != 'z' && !IsDigit(last)) return false;
  if (IsDigit(last) && field.find_first_of("+-", field.size() > 6 ? field.size() - 6 : 0) ==
                           std::string_view::npos) {
    return false;
  }
  const std::optional<DateTimeCell> cell = SplitDateTimeCell(field);
  return cell && cell->zoned;
}

}  // namespace vantrelix
