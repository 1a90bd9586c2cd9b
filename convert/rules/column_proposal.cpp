#include "column_proposal.h"

#include <algorithm>
#include <map>

#include "byte_scan.h"
#include "comma.h"
#include "date_tally.h"
#include "date_time_cell.h"
#include "layout_guess.h"
#include "month_names.h"
#include "normalise.h"

namespace vantrelix {

namespace {

// Columns beyond this many are not looked at: no export puts its fields
// further out.
constexpr int32_t kMaxColumns = 64;

// The usual header words of each field, folded, in FieldSlot order; the
// field selector's own headings are among them, so that a file written by
// another copy of this program maps back.
const std::vector<std::string_view> kWords[kFieldSlotCount] = {
    {"patient", "name", "client", "patientname", "clientname", "fullname"},
    {"phone", "telephone", "tel", "mobile", "cell", "phoneno", "phonenumber", "cellphone",
     "mobilephone", "telephoneno"},
    {"date", "apptdate", "appointmentdate", "dateofappointment"},
    {"time", "appttime", "start", "starttime", "appointmenttime", "timeofappointment"},
    {"doctor", "provider", "physician", "practitioner", "dr", "resource", "staff"},
    {"location", "site", "office", "room", "clinic", "facility", "locationofappointment"},
    {"email", "mail", "emailaddress", "emailaddressoptionalfeature"},
};

// Words that name a field inside a longer heading ("Appt Start Date").
const std::string_view kPartWords[kFieldSlotCount] = {"name",   "phone",    "date", "time",
                                                      "doctor", "location", "email"};

bool IsLetter(char c) {
  const char lower = static_cast<char>(c | 0x20);
  return lower >= 'a' && lower <= 'z';
}

std::string Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

// -1: no field's word.
int ExactField(const std::string& folded) {
  for (int f = 0; f < kFieldSlotCount; ++f) {
    if (std::find(kWords[f].begin(), kWords[f].end(), folded) != kWords[f].end()) return f;
  }
  return -1;
}

int PartField(const std::string& folded) {
  for (int f : {6, 2, 3, 1, 4, 5, 0}) {  // the most telling words first
    if (folded.find(kPartWords[f]) != std::string::npos) return f;
  }
  return -1;
}

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
    letters = letters || IsLetter(c);
  }
  return letters;
}

// Two or more words of letters: a name as a person writes it.
bool LooksLikeWords(std::string_view t) {
  int words = 0;
  bool inWord = false;
  for (char c : t) {
    if (IsLetter(c) || c == '.' || c == '-' || c == '\'') {
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

// A word of three letters or more: a place's name, not a code like "d1".
bool HasAWord(std::string_view t) {
  int run = 0;
  for (char c : t) {
    run = IsLetter(c) ? run + 1 : 0;
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

// The header word of a field, folded: letters and digits only, lower case.
std::string FoldedName(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (IsDigit(c) || IsLetter(c)) out += static_cast<char>(IsLetter(c) ? c | 0x20 : c);
  }
  return out;
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
  LineColumns split(delimiter);
  std::string text;
  for (size_t i = 0; i < lines.size() && i < kProposalLines; ++i) {
    if (lines[i].empty()) continue;
    split.Split(lines[i], kMaxColumns);
    for (int32_t c = 1; c <= kMaxColumns; ++c) {
      split.ColumnInto(c, text);
      if (columns.size() < static_cast<size_t>(c)) {
        if (text.empty()) continue;
        columns.resize(static_cast<size_t>(c));
      }
      Column& column = columns[static_cast<size_t>(c - 1)];
      text = Trimmed(text);
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

// The proposal stores the order explicitly, so that a run under another
// locale (a timer, cron) reads the dates the same way. Of the orders that
// read as many dates, the one whose years lie nearest to now wins: 28-12-26
// is an appointment on 28 December 2026 rather than in 2028. When the
// proposed dates do not tell the day from the month, the export's other
// dates may; failing those, the order is a guess, and the proposal says so.
void ProposeDateOrder(ColumnProposal& proposal, const std::vector<Column>& columns,
                      const TextCounts& dates, const SetupRecord& current,
                      const RegionalSettings& regional, int currentYear) {
  int32_t& layout = proposal.dateLayout;
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
  if (chosen.shape == DateShape::kNone) return;
  const OrderStats st = StatsOf(dates, chosen.shape, regional, currentYear);
  int best = chosen.order;
  for (int o = 0; o < kDateOrderCount; ++o) {
    const auto i = static_cast<size_t>(o);
    const auto b = static_cast<size_t>(best);
    if (LayoutOfOrder(chosen.shape, static_cast<DateOrder>(o)) >= 0 && st.reads[i] > 0 &&
        (st.reads[i] > st.reads[b] ||
         (st.reads[i] == st.reads[b] && st.yearsAway[i] < st.yearsAway[b]))) {
      best = o;
    }
  }
  const int32_t bestLayout = LayoutOfOrder(chosen.shape, static_cast<DateOrder>(best));
  if (bestLayout >= 0 && bestLayout != layout) {
    if (DateLayoutTakesDelimiter(bestLayout) && !DateLayoutTakesDelimiter(layout)) {
      proposal.dateDelimiter = st.separator != '\0' ? st.separator : regional.dateSeparatorChar;
    }
    layout = bestLayout;
  }

  // Another order that reads them all as other dates, as near to now.
  int rival = -1;
  for (int o = 0; o < kDateOrderCount && rival < 0; ++o) {
    const auto i = static_cast<size_t>(o);
    const auto b = static_cast<size_t>(best);
    // An order no layout reads counts only when its years lie nearer now:
    // nobody writes year, day, month, but 281226 may well be ddmmyy.
    const bool stated = LayoutOfOrder(chosen.shape, static_cast<DateOrder>(o)) >= 0;
    if (o != best && st.reads[i] >= st.reads[b] &&
        (stated ? st.yearsAway[i] <= st.yearsAway[b] : st.yearsAway[i] < st.yearsAway[b]) &&
        AnyOtherDate(st, o, best)) {
      rival = o;
    }
  }
  if (rival < 0) return;
  const auto name = [](int32_t l) { return std::string(kDateLayoutItems[static_cast<size_t>(l)]); };
  const bool dayMonth = chosen.shape == DateShape::kSeparated &&
                        (best == kDayMonthYear || best == kMonthDayYear) &&
                        (rival == kDayMonthYear || rival == kMonthDayYear);
  if (!dayMonth) {
    proposal.dateOrderGuessed = true;
    proposal.dateOrderNote = "the dates read " +
                             OrderName(chosen.shape, static_cast<DateOrder>(rival)) +
                             " as well, as other dates: \"" + name(layout) + "\" is a guess";
    const int32_t rivalLayout = LayoutOfOrder(chosen.shape, static_cast<DateOrder>(rival));
    proposal.dateOrderNote += rivalLayout >= 0
                                  ? "; if the export is written " +
                                        OrderName(chosen.shape, static_cast<DateOrder>(rival)) +
                                        ", set date-layout=\"" + name(rivalLayout) + "\""
                                  : "; no layout reads them the other way";
    return;
  }
  std::string where;
  const DayMonthEvidence other = OtherDatesOrder(proposal, columns, currentYear, where);
  if (other == DayMonthEvidence::kDayFirst || other == DayMonthEvidence::kMonthFirst) {
    layout = other == DayMonthEvidence::kDayFirst ? kDayFirstLayout : kMonthFirstLayout;
    proposal.dateOrderNote = "the appointment dates do not tell the day from the month; " + where +
                             " does: \"" + name(layout) + "\"";
    return;
  }
  const int32_t otherLayout = layout == kDayFirstLayout ? kMonthFirstLayout : kDayFirstLayout;
  proposal.dateOrderGuessed = true;
  // A tie keeps the order the settings held; else the locale's came first.
  const bool kept = current.DateLayout() == layout;
  proposal.dateOrderNote =
      "the dates do not tell the day from the month (no day above 12): \"" + name(layout) +
      (kept ? "\" was kept from the settings"
            : "\" was chosen by the regional settings " + regional.localeName) +
      "; if the export is the other way round, set date-layout=\"" + name(otherLayout) + "\"";
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

// What the first line's headings say: the field each names by a whole word
// and by a part word (-1 for none), how many name one, and whether any holds
// a digit.
struct Headings {
  std::vector<int> exact, part;
  int named = 0;
  bool digits = false;
};

Headings ReadHeadings(const std::vector<Column>& columns) {
  Headings h;
  for (const Column& column : columns) {
    const std::string folded = FoldedName(column.heading);
    h.exact.push_back(ExactField(folded));
    h.part.push_back(PartField(folded));
    h.named += h.exact.back() >= 0 || h.part.back() >= 0;
    for (char ch : column.heading) h.digits = h.digits || IsDigit(ch);
  }
  return h;
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
    if (2 * CountWhere(column, LooksLikeWords) > column.count) {
      assignment.Assign(static_cast<int>(FieldSlot::kName), c, "looks like names");
    }
  }
  for (int32_t c = 0; c < width; ++c) {
    const Column& column = columns[static_cast<size_t>(c)];
    if (assignment.Taken(c) || 2 * column.count < dataLines) continue;
    if (2 * CountWhere(column, HasAWord) > column.count) {
      assignment.Assign(static_cast<int>(FieldSlot::kLocation), c, "the text column left");
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
  const int32_t width = static_cast<int32_t>(columns.size());

  // The header: two or more headings that name fields, or one line without
  // digits above data that has dates or times.
  const Headings headings = ReadHeadings(columns);
  bool dataHasDatesOrTimes = false;
  std::vector<int> shaped(static_cast<size_t>(width), -1);
  std::vector<std::string> shapedWhy(static_cast<size_t>(width));
  for (int32_t c = 0; c < width; ++c) {
    // The field that most of the column's values fit.
    shaped[static_cast<size_t>(c)] = ShapeField(columns[static_cast<size_t>(c)], current, regional,
                                                currentYear, shapedWhy[static_cast<size_t>(c)]);
    dataHasDatesOrTimes = dataHasDatesOrTimes || shaped[static_cast<size_t>(c)] == 2 ||
                          shaped[static_cast<size_t>(c)] == 3;
  }
  proposal.firstLineIsHeader =
      lines.size() > 1 &&
      (headings.named >= 2 || (!headings.digits && headings.named >= 1 && dataHasDatesOrTimes));

  // The header's exact words first, then its partial ones, then the shapes.
  Assignment assignment(proposal, static_cast<size_t>(width));
  if (proposal.firstLineIsHeader) {
    for (const std::vector<int>* found : {&headings.exact, &headings.part}) {
      for (int32_t c = 0; c < width; ++c) {
        const int field = (*found)[static_cast<size_t>(c)];
        if (field >= 0)
          assignment.Assign(field, c, "header '" + columns[static_cast<size_t>(c)].heading + "'");
      }
    }
  }
  for (int32_t c = 0; c < width; ++c) {
    if (shaped[static_cast<size_t>(c)] >= 0) {
      assignment.Assign(shaped[static_cast<size_t>(c)], c, shapedWhy[static_cast<size_t>(c)]);
    }
  }

  // Under a header, a column whose name is no field's stays unmapped.
  if (!proposal.firstLineIsHeader) {
    const int64_t dataLines = static_cast<int64_t>(std::min(lines.size(), kProposalLines)) - 1;
    AssignWordColumns(assignment, columns, dataLines);
  }
  ShareDateTimeColumn(proposal, columns, regional);
  ProposeReadings(proposal, columns, current, regional, currentYear);
  return proposal;
}

}  // namespace vantrelix
