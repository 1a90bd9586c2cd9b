#include "column_proposal.h"

#include <algorithm>
#include <bit>
#include <map>
#include <optional>

#include "byte_scan.h"
#include "comma.h"
#include "date_tally.h"
#include "date_time_cell.h"
#include "header_words.h"
#include "layout_guess.h"
#include "month_names.h"
#include "normalise.h"

namespace vantrelix {

namespace {

// Dates this many years ago or more are no appointment's.
constexpr int kBirthYearsAgo = 10;

// Columns beyond this many are not looked at: no export puts its fields
// further out.
constexpr int32_t kMaxColumns = 64;

bool LooksLikeEmail(std::string_view t) {
  const size_t at = t.find('@');
  return at != std::string_view::npos && at > 0 && t.find('.', at) != std::string_view::npos &&
         t.find(' ') == std::string_view::npos;
}

bool LooksLikePhone(std::string_view t) {
  int digits = 0;
  for (char c : t) {
    if (IsDigit(c)) {
      ++digits;
    } else if (c != ' ' && c != '(' && c != ')' && c != '-' && c != '+' && c != '.') {
      return false;
    }
  }
  return digits >= 7 && digits <= 15;
}

bool LooksLikeDoctor(std::string_view t) {
  return t.size() > 3 && (t[0] | 0x20) == 'd' && (t[1] | 0x20) == 'r' &&
         (t[2] == '.' || t[2] == ' ');
}

bool LooksLikeLastFirst(std::string_view t) {
  const size_t comma = t.find(',');
  if (comma == std::string_view::npos || comma == 0) return false;
  bool letters = false;
  for (char c : t) {
    if (IsDigit(c)) return false;
    letters = letters || IsAsciiLetter(c);
  }
  return letters;
}

// Two or more words of letters: a name as a person writes it.
bool LooksLikeWords(std::string_view t) {
  int words = 0;
  bool inWord = false;
  for (char c : t) {
    if (IsAsciiLetter(c) || c == '.' || c == '-' || c == '\'') {
      words += !inWord;
      inWord = true;
    } else if (c == ' ') {
      inWord = false;
    } else {
      return false;
    }
  }
  return words >= 2;
}

// A word that places rather than persons are named with: "Main St Clinic",
// "Suite 400", "Room 3".
bool LooksLikePlace(std::string_view t) {
  static constexpr std::string_view kPlaceWords[] = {
      "clinic", "clinique", "klinik",   "street",   "st",     "road",   "rd",       "avenue",
      "ave",    "suite",    "room",     "branch",   "centre", "center", "building", "floor",
      "office", "hospital", "praxis",   "praktijk", "site",   "campus", "wing",     "level",
      "unit",   "annex",    "downtown", "north",    "south",  "east",   "west",     "main"};
  std::string word;
  for (size_t i = 0; i <= t.size(); ++i) {
    if (i < t.size() && IsAsciiLetter(t[i])) {
      word += static_cast<char>(t[i] | 0x20);
      continue;
    }
    for (std::string_view w : kPlaceWords) {
      if (word == w) return true;
    }
    word.clear();
  }
  return false;
}

// A person's name as written: words of letters, no place's word among them.
bool LooksLikePersonName(std::string_view t) {
  return LooksLikeWords(t) && !LooksLikePlace(t);
}

// A short text or a place: what a location column holds, not notes.
bool LooksLikeLocation(std::string_view t) {
  int words = 0;
  bool inWord = false;
  for (char c : t) {
    words += c != ' ' && !inWord;
    inWord = c != ' ';
  }
  return LooksLikePlace(t) || words <= 3;
}

// Letters only, one word or more ("Jane"): a name's part at least.
bool AllWords(std::string_view t) {
  bool letter = false;
  for (char c : t) {
    if (IsAsciiLetter(c) || static_cast<unsigned char>(c) >= 0x80) {
      letter = true;
    } else if (c != ' ' && c != '.' && c != '-' && c != '\'' && c != ',') {
      return false;
    }
  }
  return letter;
}

// A word of three letters or more: a place's name, not a code like "d1".
bool HasAWord(std::string_view t) {
  int run = 0;
  for (char c : t) {
    run = IsAsciiLetter(c) ? run + 1 : 0;
    if (run >= 3) return true;
  }
  return false;
}

struct Column {
  std::string heading;  // the first line's text
  TextCounts values;    // of the data lines, non-empty
  int64_t count = 0;
};

int64_t CountWhere(const Column& c, bool (*test)(std::string_view)) {
  int64_t n = 0;
  for (const auto& [text, k] : c.values) n += test(text) ? k : 0;
  return n;
}

void AddValue(TextCounts& values, const std::string& text) {
  for (auto& entry : values) {
    if (entry.first == text) {
      ++entry.second;
      return;
    }
  }
  values.emplace_back(text, 1);
}

}  // namespace

void ColumnProposal::ApplyTo(SetupRecord& record) const {
  for (int f = 0; f < kFieldSlotCount; ++f) {
    record.SetPosition(static_cast<FieldSlot>(f), fields[static_cast<size_t>(f)].column);
  }
  record.SetSkipFirstLine(firstLineIsHeader ? 1 : 0);
  record.SetDateLayout(dateLayout);
  record.SetDateDelimiter(dateDelimiter);
  record.SetTimeLayout(timeLayout);
  record.SetTimeDelimiter(timeDelimiter);
  record.SetDelimiter(delimiter);
}

bool ColumnProposal::SameAs(const SetupRecord& record) const {
  SetupRecord applied = record;
  ApplyTo(applied);
  return applied.SameSettings(record);
}

namespace {

// Every line split once by the pass's own rule; the first line's texts are
// the headings, the others' the values.
std::vector<Column> SplitColumns(const std::vector<std::string>& lines, FieldDelimiter delimiter) {
  std::vector<Column> columns;
  for (size_t i = 0; i < lines.size() && i < kProposalLines; ++i) {
    if (lines[i].empty()) continue;
    const std::vector<std::string> texts = ColumnTexts(lines[i], delimiter, kMaxColumns);
    for (size_t c = 0; c < texts.size(); ++c) {
      const std::string text(WithoutEndBlanksOrTabs(texts[c]));
      if (columns.size() <= c) {
        if (texts[c].empty()) continue;
        columns.resize(c + 1);
      }
      Column& column = columns[c];
      if (i == 0) {
        column.heading = text;
      } else if (!text.empty()) {
        AddValue(column.values, text);
        ++column.count;
      }
    }
  }
  return columns;
}

// A date with a month name, its time after it or not.
bool HasMonthName(std::string_view t, const RegionalSettings& regional) {
  return !MonthNameDateText(DatePartOf(t), &regional).empty();
}

// A date followed by its time, as one field.
bool HoldsDateAndTime(std::string_view t, const RegionalSettings& regional) {
  return ShapeOf(t) == TextShape::kDateAndTime ||
         (DatePartOf(t).size() < t.size() && HasMonthName(t, regional));
}

// The field whose shape most of the column's values fit, -1 for none, and
// why in `why`.
int ShapeField(const Column& c, const SetupRecord& current, const RegionalSettings& regional,
               int currentYear, std::string& why) {
  if (c.count == 0) return -1;
  const auto most = [&](int64_t n) { return 2 * n > c.count; };
  if (most(CountWhere(c, LooksLikeEmail))) return why = "looks like e-mail addresses", 6;
  int64_t dateShaped = 0, timeShaped = 0, cellShaped = 0;
  for (const auto& [t, k] : c.values) {
    const TextShape shape = ShapeOf(t);
    dateShaped += shape == TextShape::kDate || HasMonthName(t, regional) ? k : 0;
    timeShaped += shape == TextShape::kTime ? k : 0;
    cellShaped += HoldsDateAndTime(t, regional) ? k : 0;
  }
  if (most(cellShaped)) {
    const LayoutChoice best = BestDateLayout(c.values, current, regional, currentYear);
    if (most(best.read)) return why = "looks like dates with times", 2;
  }
  // Dates decades ago are dates of birth, never appointments.
  int64_t old = 0;
  for (const auto& [t, k] : c.values) {
    const DateReadings r = ReadingsOf(DatePartOf(t), currentYear, regional.centuryWindowYears);
    bool recent = r.reads == 0;
    for (unsigned reads = r.reads; reads != 0; reads &= reads - 1) {
      recent = recent || r.dates[static_cast<size_t>(std::countr_zero(reads))].year >
                             currentYear - kBirthYearsAgo;
    }
    old += recent ? 0 : k;
  }
  if (most(old)) return -1;
  if (most(dateShaped)) {
    const LayoutChoice best = BestDateLayout(c.values, current, regional, currentYear);
    if (most(best.read)) return why = "looks like dates", 2;
  }
  if (most(timeShaped)) {
    const LayoutChoice best = BestTimeLayout(c.values, current, regional);
    if (most(best.read)) return why = "looks like times", 3;
  }
  if (most(CountWhere(c, LooksLikePhone))) return why = "looks like phone numbers", 1;
  if (most(CountWhere(c, LooksLikeDoctor))) return why = "looks like doctors' names", 4;
  if (most(CountWhere(c, LooksLikeLastFirst))) return why = "looks like \"Last, First\" names", 0;
  return -1;
}

// Which order, day or month first, the export's other date columns show (a
// date of birth 23/04/1961 shows day first), and in which column. Columns
// proposed for a field are no such dates: dotted times with seconds
// ("9.30.00") read as dates too.
DayMonthEvidence OtherDatesOrder(const ColumnProposal& proposal, const std::vector<Column>& columns,
                                 int currentYear, std::string& where) {
  DayMonthEvidence found = DayMonthEvidence::kNone;
  for (size_t c = 0; c < columns.size(); ++c) {
    const bool taken = std::any_of(
        proposal.fields.begin(), proposal.fields.end(),
        [c](const ColumnProposal::Field& f) { return f.column == static_cast<int32_t>(c) + 1; });
    if (taken) continue;
    TextCounts values = columns[c].values;
    if (!proposal.firstLineIsHeader && !columns[c].heading.empty()) {
      AddValue(values, columns[c].heading);
    }
    int64_t dateShaped = 0, count = 0;
    bool dayFirst = false, monthFirst = false;
    for (const auto& [t, k] : values) {
      count += k;
      const DateReadings r = ReadingsOf(DatePartOf(t), currentYear, 50);
      if (r.shape != DateShape::kSeparated || r.reads == 0) continue;
      dateShaped += k;
      const bool dmy = (r.reads >> kDayMonthYear & 1) != 0;
      const bool mdy = (r.reads >> kMonthDayYear & 1) != 0;
      dayFirst = dayFirst || (dmy && !mdy);
      monthFirst = monthFirst || (mdy && !dmy);
    }
    if (2 * dateShaped <= count || dayFirst == monthFirst) continue;
    const DayMonthEvidence e =
        dayFirst ? DayMonthEvidence::kDayFirst : DayMonthEvidence::kMonthFirst;
    if (found != DayMonthEvidence::kNone && found != e) return DayMonthEvidence::kBoth;
    if (found == DayMonthEvidence::kNone) {
      where = "column " + std::to_string(c + 1);
      if (proposal.firstLineIsHeader && !columns[c].heading.empty()) {
        where += " ('" + columns[c].heading + "')";
      }
    }
    found = e;
  }
  return found;
}

// How the orders of one shape read a column of dates: how many each reads,
// how far their years lie from now, and the dates themselves.
struct OrderStats {
  std::array<int64_t, kDateOrderCount> reads{}, yearsAway{};
  std::vector<std::pair<DateReadings, int64_t>> values;  // of the shape, with their counts
  char separator = '\0';                                 // the first value's
};
OrderStats StatsOf(const TextCounts& dates, DateShape shape, const RegionalSettings& regional,
                   int currentYear) {
  OrderStats st;
  for (const auto& [text, n] : dates) {
    const DateReadings r = ReadingsOf(DatePartOf(text), currentYear, regional.centuryWindowYears);
    if (r.shape != shape) continue;
    if (st.values.empty()) st.separator = r.separator;
    st.values.emplace_back(r, n);
    for (int o = 0; o < kDateOrderCount; ++o) {
      if ((r.reads >> o & 1) == 0) continue;
      const int64_t away = r.dates[static_cast<size_t>(o)].year - currentYear;
      st.reads[static_cast<size_t>(o)] += n;
      st.yearsAway[static_cast<size_t>(o)] += n * (away < 0 ? -away : away);
    }
  }
  return st;
}

// Whether order `a` reads some value as another date than `b` does.
bool AnyOtherDate(const OrderStats& st, int a, int b) {
  for (const auto& [r, n] : st.values) {
    if ((r.reads >> a & 1) == 0 || (r.reads >> b & 1) == 0) continue;
    const CivilDate& x = r.dates[static_cast<size_t>(a)];
    const CivilDate& y = r.dates[static_cast<size_t>(b)];
    if (x.year != y.year || x.month != y.month || x.day != y.day) return true;
  }
  return false;
}

// The order that reads the most of the proposed dates, the one whose years
// lie nearest now among equals, with what each order reads.
struct OrderChoice {
  LayoutOrder chosen;
  int best;
  OrderStats st;
};
std::optional<OrderChoice> ChooseDateOrder(int32_t layout, const TextCounts& dates,
                                           const RegionalSettings& regional, int currentYear) {
  LayoutOrder chosen = LayoutOrderOf(layout, regional);
  // A layout of another shape than most dates have reads none of them
  // (six digits, when no layout read any and the tie kept the first).
  std::array<int64_t, kDateShapeCount> shapes{};
  for (const auto& [text, n] : dates) {
    const DateReadings r = ReadingsOf(DatePartOf(text), currentYear, regional.centuryWindowYears);
    if (r.reads != 0) shapes[static_cast<size_t>(r.shape)] += n;
  }
  const auto most =
      static_cast<DateShape>(std::max_element(shapes.begin(), shapes.end()) - shapes.begin());
  if (shapes[static_cast<size_t>(most)] > shapes[static_cast<size_t>(chosen.shape)]) {
    chosen = {most, kYearMonthDay};
  }
  if (chosen.shape == DateShape::kNone) return std::nullopt;
  OrderChoice c{chosen, chosen.order, StatsOf(dates, chosen.shape, regional, currentYear)};
  for (int o = 0; o < kDateOrderCount; ++o) {
    const auto i = static_cast<size_t>(o);
    const auto b = static_cast<size_t>(c.best);
    if (LayoutOfOrder(chosen.shape, static_cast<DateOrder>(o)) >= 0 && c.st.reads[i] > 0 &&
        (c.st.reads[i] > c.st.reads[b] ||
         (c.st.reads[i] == c.st.reads[b] && c.st.yearsAway[i] < c.st.yearsAway[b]))) {
      c.best = o;
    }
  }
  return c;
}

// Another order that reads them all as other dates, as near to now; -1 for
// none.
int RivalOrder(const OrderChoice& c) {
  for (int o = 0; o < kDateOrderCount; ++o) {
    const auto i = static_cast<size_t>(o);
    const auto b = static_cast<size_t>(c.best);
    // An order no layout reads counts only when its years lie nearer now:
    // nobody writes year, day, month, but 281226 may well be ddmmyy.
    const bool stated = LayoutOfOrder(c.chosen.shape, static_cast<DateOrder>(o)) >= 0;
    if (o != c.best && c.st.reads[i] >= c.st.reads[b] &&
        (stated ? c.st.yearsAway[i] <= c.st.yearsAway[b] : c.st.yearsAway[i] < c.st.yearsAway[b]) &&
        AnyOtherDate(c.st, o, c.best)) {
      return o;
    }
  }
  return -1;
}

std::string LayoutNameForNote(int32_t layout) {
  const std::string_view item = ItemAt(kDateLayoutItems, layout);
  return item.empty() ? "none (" + std::to_string(layout) + ")" : std::string(item);
}

// Dates that read another way as well: the export's other dates may tell
// day from month; else the order is a guess, and the note says which
// setting reads them the other way.
void SettleRivalOrder(ColumnProposal& proposal, const std::vector<Column>& columns,
                      const SetupRecord& current, const RegionalSettings& regional, int currentYear,
                      const OrderChoice& c, int rival) {
  int32_t& layout = proposal.dateLayout;
  const DateShape shape = c.chosen.shape;
  const bool dayMonth = shape == DateShape::kSeparated &&
                        (c.best == kDayMonthYear || c.best == kMonthDayYear) &&
                        (rival == kDayMonthYear || rival == kMonthDayYear);
  if (!dayMonth) {
    const std::string rivalName = OrderName(shape, static_cast<DateOrder>(rival));
    proposal.dateOrderGuessed = true;
    proposal.dateOrderNote = "the dates read " + rivalName + " as well, as other dates: \"" +
                             LayoutNameForNote(layout) + "\" is a guess";
    const int32_t rivalLayout = LayoutOfOrder(shape, static_cast<DateOrder>(rival));
    proposal.dateOrderNote += rivalLayout >= 0 ? "; if the export is written " + rivalName +
                                                     ", set date-layout=\"" +
                                                     LayoutNameForNote(rivalLayout) + "\""
                                               : "; no layout reads them the other way";
    return;
  }
  std::string where;
  const DayMonthEvidence other = OtherDatesOrder(proposal, columns, currentYear, where);
  if (other == DayMonthEvidence::kDayFirst || other == DayMonthEvidence::kMonthFirst) {
    layout = other == DayMonthEvidence::kDayFirst ? kDayFirstLayout : kMonthFirstLayout;
    proposal.dateOrderNote = "the appointment dates do not tell the day from the month; " + where +
                             " does: \"" + LayoutNameForNote(layout) + "\"";
    return;
  }
  const int32_t otherLayout = layout == kDayFirstLayout ? kMonthFirstLayout : kDayFirstLayout;
  proposal.dateOrderGuessed = true;
  // A tie keeps the order the settings held; else the locale's came first.
  const bool kept = current.DateLayout() == layout;
  proposal.dateOrderNote =
      "the dates do not tell the day from the month (no day above 12): \"" +
      LayoutNameForNote(layout) +
      (kept ? "\" was kept from the settings"
            : "\" was chosen by the regional settings " + regional.localeName) +
      "; if the export is the other way round, set date-layout=\"" +
      LayoutNameForNote(otherLayout) + "\"";
}

// The proposal stores the order explicitly, so that a run under another
// locale (a timer, cron) reads the dates the same way. Of the orders that
// read as many dates, the one whose years lie nearest to now wins: 28-12-26
// is an appointment on 28 December 2026 rather than in 2028. When the
// proposed dates do not tell the day from the month, the export's other
// dates may; failing those, the order is a guess, and the proposal says so.
void ProposeDateOrder(ColumnProposal& proposal, const std::vector<Column>& columns,
                      const TextCounts& dates, const SetupRecord& current,
                      const RegionalSettings& regional, int currentYear) {
  const std::optional<OrderChoice> c =
      ChooseDateOrder(proposal.dateLayout, dates, regional, currentYear);
  if (!c) return;
  const int32_t bestLayout = LayoutOfOrder(c->chosen.shape, static_cast<DateOrder>(c->best));
  if (bestLayout >= 0 && bestLayout != proposal.dateLayout) {
    if (DateLayoutTakesDelimiter(bestLayout) && !DateLayoutTakesDelimiter(proposal.dateLayout)) {
      proposal.dateDelimiter =
          c->st.separator != '\0' ? c->st.separator : regional.dateSeparatorChar;
    }
    proposal.dateLayout = bestLayout;
  }
  const int rival = RivalOrder(*c);
  if (rival >= 0) SettleRivalOrder(proposal, columns, current, regional, currentYear, *c, rival);
}

// The mean day of a column's dates (each in the first order that reads it).
double MeanDays(const Column& c, const RegionalSettings& regional, int currentYear) {
  double sum = 0;
  int64_t n = 0;
  for (const auto& [t, k] : c.values) {
    const DateReadings r = ReadingsOf(DatePartOf(t), currentYear, regional.centuryWindowYears);
    if (r.reads == 0) continue;
    const CivilDate& d = r.dates[static_cast<size_t>(std::countr_zero(r.reads))];
    sum += static_cast<double>(DaysFromCivil(d.year, d.month, d.day)) * static_cast<double>(k);
    n += k;
  }
  return n > 0 ? sum / static_cast<double>(n) : 0;
}

// A column of dates with their times gives both fields, where the other
// found no column of its own.
void ShareDateTimeColumn(ColumnProposal& proposal, const std::vector<Column>& columns,
                         const RegionalSettings& regional) {
  auto& date = proposal.fields[static_cast<size_t>(FieldSlot::kDate)];
  auto& time = proposal.fields[static_cast<size_t>(FieldSlot::kTime)];
  if ((date.column == 0) == (time.column == 0)) return;
  ColumnProposal::Field& found = date.column != 0 ? date : time;
  ColumnProposal::Field& missing = date.column != 0 ? time : date;
  const Column& c = columns[static_cast<size_t>(found.column - 1)];
  int64_t cells = 0;
  for (const auto& [t, k] : c.values) cells += HoldsDateAndTime(t, regional) ? k : 0;
  if (2 * cells <= c.count) return;
  missing.column = found.column;
  missing.why = "dates and times in one column";
}

// Sets the proposal's readings to those that read its date and time columns
// best; a reading nothing reads keeps the current one.
void ProposeReadings(ColumnProposal& proposal, const std::vector<Column>& columns,
                     const SetupRecord& current, const RegionalSettings& regional,
                     int currentYear) {
  const auto valuesOf = [&](FieldSlot slot) {
    const int32_t column = proposal.fields[static_cast<size_t>(slot)].column;
    TextCounts values = column > 0 ? columns[static_cast<size_t>(column - 1)].values : TextCounts{};
    if (!proposal.firstLineIsHeader && column > 0) {
      const std::string& first = columns[static_cast<size_t>(column - 1)].heading;
      if (!first.empty()) AddValue(values, first);
    }
    return values;
  };
  const TextCounts dates = valuesOf(FieldSlot::kDate);
  if (!dates.empty()) {
    const LayoutChoice best = BestDateLayout(dates, current, regional, currentYear);
    if (best.layout >= 0) {
      proposal.dateLayout = best.layout;
      if (DateLayoutTakesDelimiter(best.layout)) proposal.dateDelimiter = best.delimiter;
      ProposeDateOrder(proposal, columns, dates, current, regional, currentYear);
    }
  }
  const TextCounts times = valuesOf(FieldSlot::kTime);
  if (!times.empty()) {
    const LayoutChoice best = BestTimeLayout(times, current, regional);
    if (best.layout >= 0) {
      proposal.timeLayout = best.layout;
      if (TimeLayoutTakesDelimiter(best.layout)) proposal.timeDelimiter = best.delimiter;
    }
  }
}

// What the first line's headings say: what each names, how many name a
// field or another column, and whether any holds a digit.
struct Headings {
  std::vector<HeadingMeaning> meanings;
  int named = 0;
  bool digits = false;
};

Headings ReadHeadings(const std::vector<Column>& columns) {
  Headings h;
  for (const Column& column : columns) {
    h.meanings.push_back(MeaningOfHeading(column.heading));
    h.named += h.meanings.back().field >= 0;
    for (char ch : column.heading) h.digits = h.digits || IsDigit(ch);
  }
  return h;
}

// What most of a column's values look like, for a note; empty for text.
std::string LooksLike(const Column& c, const RegionalSettings& regional) {
  const auto most = [&](int64_t n) { return 2 * n > c.count; };
  if (most(CountWhere(c, LooksLikeEmail))) return "e-mail addresses";
  if (most(CountWhere(c, LooksLikePhone))) return "phone numbers";
  int64_t dates = 0, times = 0, words = 0, numbers = 0;
  for (const auto& [t, k] : c.values) {
    const TextShape shape = ShapeOf(t);
    dates +=
        shape == TextShape::kDate || shape == TextShape::kDateAndTime || HasMonthName(t, regional)
            ? k
            : 0;
    times += shape == TextShape::kTime ? k : 0;
    words += AllWords(t) ? k : 0;
    numbers += !t.empty() && AllDigits(t) ? k : 0;
  }
  if (most(dates)) return "dates";
  if (most(times)) return "times";
  if (most(numbers)) return "numbers";
  if (most(words)) return "names";
  return {};
}

// Whether a column's values may be a field's: a heading alone does not make
// names phone numbers, nor a fee a date.
bool ValuesFit(int field, const std::string& looksLike) {
  if (looksLike.empty()) return true;  // text of no telling shape
  switch (static_cast<FieldSlot>(field)) {
    case FieldSlot::kPhone:
      return looksLike == "phone numbers" || looksLike == "numbers" || looksLike == "times";
    case FieldSlot::kEmail:
      return looksLike == "e-mail addresses";
    case FieldSlot::kDate:
      return looksLike == "dates";
    case FieldSlot::kTime:
      return looksLike == "times" || looksLike == "dates" || looksLike == "numbers";
    case FieldSlot::kLocation:
      return looksLike == "names" || looksLike == "numbers";  // "Room 3", "3"
    case FieldSlot::kName:
    case FieldSlot::kDoctor:
      break;
  }
  return looksLike == "names";
}

// Each field at most one column, each column at most one field: the first
// to ask for a pair gets it.
class Assignment {
 public:
  Assignment(ColumnProposal& proposal, size_t width) : proposal_(proposal), taken_(width, false) {}

  void Assign(int field, int32_t c, std::string why) {
    ColumnProposal::Field& f = proposal_.fields[static_cast<size_t>(field)];
    if (f.column != 0 || taken_[static_cast<size_t>(c)]) return;
    f.column = c + 1;
    f.why = std::move(why);
    taken_[static_cast<size_t>(c)] = true;
  }
  bool Taken(int32_t c) const { return taken_[static_cast<size_t>(c)]; }
  void Exclude(int32_t c) { taken_[static_cast<size_t>(c)] = true; }

 private:
  ColumnProposal& proposal_;
  std::vector<bool> taken_;
};

// Without a header, the name is the first column left whose values are
// words, and the location the first column left that holds text in most
// lines: the other fields have shapes of their own.
void AssignWordColumns(Assignment& assignment, const std::vector<Column>& columns,
                       int64_t dataLines) {
  const int32_t width = static_cast<int32_t>(columns.size());
  for (int32_t c = 0; c < width; ++c) {
    const Column& column = columns[static_cast<size_t>(c)];
    if (assignment.Taken(c) || 2 * column.count < dataLines) continue;
    if (2 * CountWhere(column, LooksLikePersonName) > column.count) {
      assignment.Assign(static_cast<int>(FieldSlot::kName), c, "looks like names");
    }
  }
  for (int32_t c = 0; c < width; ++c) {
    const Column& column = columns[static_cast<size_t>(c)];
    if (assignment.Taken(c) || 2 * column.count < dataLines) continue;
    if (2 * CountWhere(column, HasAWord) > column.count &&
        2 * CountWhere(column, LooksLikeLocation) > column.count) {
      assignment.Assign(
          static_cast<int>(FieldSlot::kLocation), c,
          CountWhere(column, LooksLikePlace) > 0 ? "looks like places" : "the text column left");
    }
  }
}

}  // namespace

FieldDelimiter ProposeDelimiter(const std::vector<std::string>& lines, FieldDelimiter current) {
  // The single characters, in the order that wins a tie.
  constexpr FieldDelimiter kCandidates[] = {FieldDelimiter::kTab, FieldDelimiter::kSemicolon,
                                            FieldDelimiter::kPipe, FieldDelimiter::kComma};
  constexpr int32_t kCounted = 256;
  FieldDelimiter best = current;
  size_t bestColumns = 1;
  bool separates[std::size(kCandidates)] = {};
  for (size_t k = 0; k < std::size(kCandidates); ++k) {
    LineColumns split(kCandidates[k]);
    std::map<size_t, size_t> linesWith;  // column count -> lines
    size_t counted = 0;
    for (size_t i = 0; i < lines.size() && i < kProposalLines; ++i) {
      if (lines[i].empty()) continue;
      split.Split(lines[i], kCounted);
      ++counted;
      ++linesWith[split.Count()];
    }
    const auto most = std::max_element(linesWith.begin(), linesWith.end(),
                                       [](auto& a, auto& b) { return a.second < b.second; });
    if (most == linesWith.end()) continue;
    separates[k] = linesWith.size() > 1 || most->first > 1;
    // Nine lines in ten alike: a stray line (a note, a total) does not count.
    if (most->first > bestColumns && 10 * most->second >= 9 * counted) {
      best = kCandidates[k];
      bestColumns = most->first;
    }
  }
  // Commas and TABs together mean the same where only one of them occurs.
  const bool tabs = separates[0], commas = separates[3];
  if ((best == FieldDelimiter::kTab && !commas) || (best == FieldDelimiter::kComma && !tabs)) {
    return FieldDelimiter::kCommaOrTab;
  }
  return best;
}

ColumnProposal KeepChosenColumns(ColumnProposal proposal, const std::vector<std::string>& lines,
                                 const SetupRecord& stored, const RegionalSettings& regional) {
  // Columns counted at another delimiter are other columns.
  if (proposal.delimiter != stored.Delimiter()) return proposal;
  const std::vector<Column> columns = SplitColumns(lines, proposal.delimiter);
  for (int f = 0; f < kFieldSlotCount; ++f) {
    const int32_t chosen = stored.Position(static_cast<FieldSlot>(f));
    ColumnProposal::Field& field = proposal.fields[static_cast<size_t>(f)];
    if (chosen <= 0 || chosen == field.column) continue;
    const bool fits = static_cast<size_t>(chosen) <= columns.size() &&
                      ValuesFit(f, LooksLike(columns[static_cast<size_t>(chosen) - 1], regional));
    if (field.column == 0 || fits) field = {chosen, "the column chosen"};
  }
  return proposal;
}

namespace {

// The field each column's values fit by their shape (-1 for none), and why.
struct ColumnShapes {
  std::vector<int> field;
  std::vector<std::string> why;
  bool DatesOrTimes(size_t c) const { return field[c] == 2 || field[c] == 3; }
};
ColumnShapes ShapesOf(const std::vector<Column>& columns, const SetupRecord& current,
                      const RegionalSettings& regional, int currentYear) {
  ColumnShapes shapes{std::vector<int>(columns.size(), -1),
                      std::vector<std::string>(columns.size())};
  for (size_t c = 0; c < columns.size(); ++c) {
    shapes.field[c] = ShapeField(columns[c], current, regional, currentYear, shapes.why[c]);
  }
  return shapes;
}

// The header: two or more headings that name fields, a line of words above
// columns of dates or times (in any language), or one heading that names a
// field on a line without digits above such data. A single line is data.
bool FirstLineIsHeader(size_t lineCount, const std::vector<Column>& columns,
                       const Headings& headings, const ColumnShapes& shapes) {
  bool dataHasDatesOrTimes = false, wordsAboveDates = false;
  for (size_t c = 0; c < columns.size(); ++c) {
    if (!shapes.DatesOrTimes(c)) continue;
    dataHasDatesOrTimes = true;
    const std::string& heading = columns[c].heading;
    wordsAboveDates = wordsAboveDates ||
                      (HasAWord(heading) && std::none_of(heading.begin(), heading.end(), IsDigit));
  }
  return lineCount > 1 && (headings.named >= 2 || wordsAboveDates ||
                           (!headings.digits && headings.named >= 1 && dataHasDatesOrTimes));
}

// The header's words that name a field itself first, then its usual words,
// then words inside longer headings; a column whose values do not fit the
// field is not taken on its heading alone (why, in `refused`). A column
// whose heading names something else is no field's.
void AssignByHeadings(Assignment& assignment, const std::vector<Column>& columns,
                      const Headings& headings, const RegionalSettings& regional,
                      std::array<std::string, kFieldSlotCount>& refused) {
  for (int strength : {2, 1, 0}) {
    for (size_t c = 0; c < columns.size(); ++c) {
      const HeadingMeaning& m = headings.meanings[c];
      const Column& column = columns[c];
      if (m.field < 0 || m.strength != strength) continue;
      const std::string looks = column.count > 0 ? LooksLike(column, regional) : "";
      if (column.count > 0 && !ValuesFit(m.field, looks)) {
        if (refused[static_cast<size_t>(m.field)].empty()) {
          refused[static_cast<size_t>(m.field)] =
              "header '" + column.heading + "', but its values look like " + looks;
        }
        continue;
      }
      assignment.Assign(m.field, static_cast<int32_t>(c), "header '" + column.heading + "'");
    }
  }
  for (size_t c = 0; c < columns.size(); ++c) {
    if (headings.meanings[c].other) assignment.Exclude(static_cast<int32_t>(c));
  }
}

// The fields by the shapes of the columns left. Of several columns of dates,
// the appointment's lie latest: the day it was booked or created comes
// before it.
void AssignByShapes(Assignment& assignment, const std::vector<Column>& columns,
                    const ColumnShapes& shapes, const RegionalSettings& regional, int currentYear) {
  int32_t latest = -1;
  double latestDays = 0;
  for (size_t c = 0; c < columns.size(); ++c) {
    if (shapes.field[c] != 2 || assignment.Taken(static_cast<int32_t>(c))) continue;
    const double days = MeanDays(columns[c], regional, currentYear);
    if (latest < 0 || days > latestDays) {
      latest = static_cast<int32_t>(c);
      latestDays = days;
    }
  }
  if (latest >= 0) {
    assignment.Assign(static_cast<int>(FieldSlot::kDate), latest,
                      shapes.why[static_cast<size_t>(latest)]);
  }
  for (size_t c = 0; c < columns.size(); ++c) {
    if (shapes.field[c] >= 0) {
      assignment.Assign(shapes.field[c], static_cast<int32_t>(c), shapes.why[c]);
    }
  }
}

}  // namespace

ColumnProposal ProposeColumns(const std::vector<std::string>& lines, const SetupRecord& current,
                              const RegionalSettings& regional, int currentYear) {
  ColumnProposal proposal;
  proposal.dateLayout = current.DateLayout();
  proposal.dateDelimiter = current.DateDelimiter();
  proposal.timeLayout = current.TimeLayout();
  proposal.timeDelimiter = current.TimeDelimiter();
  proposal.delimiter = current.Delimiter();
  if (lines.empty()) return proposal;

  proposal.delimiter = ProposeDelimiter(lines, current.Delimiter());
  const std::vector<Column> columns = SplitColumns(lines, proposal.delimiter);
  const Headings headings = ReadHeadings(columns);
  const ColumnShapes shapes = ShapesOf(columns, current, regional, currentYear);
  proposal.firstLineIsHeader = FirstLineIsHeader(lines.size(), columns, headings, shapes);

  Assignment assignment(proposal, columns.size());
  std::array<std::string, kFieldSlotCount> refused;
  if (proposal.firstLineIsHeader)
    AssignByHeadings(assignment, columns, headings, regional, refused);
  AssignByShapes(assignment, columns, shapes, regional, currentYear);
  // Under a header, a column whose name is no field's stays unmapped.
  if (!proposal.firstLineIsHeader) {
    const int64_t dataLines = static_cast<int64_t>(std::min(lines.size(), kProposalLines)) - 1;
    AssignWordColumns(assignment, columns, dataLines);
  }
  ShareDateTimeColumn(proposal, columns, regional);
  for (int f = 0; f < kFieldSlotCount; ++f) {
    ColumnProposal::Field& field = proposal.fields[static_cast<size_t>(f)];
    const std::string& why = refused[static_cast<size_t>(f)];
    if (why.empty()) continue;
    field.why = field.column == 0 ? why : field.why + "; not " + why;
  }
  ProposeReadings(proposal, columns, current, regional, currentYear);
  return proposal;
}

}  // namespace vantrelix
