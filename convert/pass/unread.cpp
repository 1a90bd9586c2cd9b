#include "unread.h"

#include <algorithm>

#include "count_text.h"
#include "date_time_cell.h"
#include "layout_guess.h"
#include "month_names.h"
#include "normalise.h"
#include "source_lines.h"

namespace vantrelix {

namespace {

constexpr size_t kLongestExample = 60;

std::string Written(ImportFile import) {
  return import == ImportFile::kWritten ? "written to TOLV_D.TXT"
                                        : "would be written to TOLV_D.TXT";
}

void AppendField(std::vector<std::string>& lines, const UnreadField& field, const char* one,
                 const char* many, int64_t linesRead, ImportFile import) {
  if (field.unread == 0) return;
  lines.push_back(WithThousands(field.unread) + " of " + CountOf(field.examined, one, many) +
                  " not read, " + Written(import) + " as " + (field.unread == 1 ? "it" : "they") +
                  " came (" + CountOf(linesRead, "line", "lines") + " read):");
  for (const UnreadField::Example& e : field.examples) {
    lines.push_back("  line " + std::to_string(e.line) + ": " + QuotedForLog(e.text));
  }
  const int64_t more = field.unread - static_cast<int64_t>(field.examples.size());
  if (more > 0) lines.push_back("  and " + WithThousands(more) + " more");
}

// "date layout "dd/mm/yy (day first)" with delimiting char "/" reads the
// column", or nothing when no layout reads more than the one in use.
std::string BetterLayoutText(const DateTally& tally, int64_t examined) {
  const DateTally::Better better = tally.BetterLayout();
  if (better.layout < 0) return "";
  std::string text = "date layout " + DateLayoutName(better.layout);
  if (DateLayoutTakesDelimiter(better.layout)) {
    text += " with delimiting char " + QuotedForLog(std::string_view(&better.delimiter, 1));
  }
  return text + (better.reads >= examined
                     ? " reads the column"
                     : " reads " + WithThousands(better.reads) + " of " + WithThousands(examined));
}

// The dates that may be read in the wrong order, with the orders that the
// unread ones read in and the layout that reads the most of the column.
void AppendDoubtful(std::vector<std::string>& lines, const UnreadReport& r, ImportFile import) {
  const UnreadField& d = r.dates;
  if (d.doubtful == 0) return;
  const DateTally& tally = r.dateTally;
  const bool swap = tally.OnlyDayMonthSwap();
  std::string line =
      WithThousands(d.doubtful) + " of " + CountOf(d.examined, "date", "dates") +
      (swap ? " may have day and month swapped, " : " may be read in the wrong order, ") +
      Written(import) + " as read";
  if (!d.doubtfulExamples.empty()) {
    const UnreadField::Example& e = d.doubtfulExamples.front();
    line += " (line " + std::to_string(e.line) + ": " + QuotedForLog(e.text) + ")";
  }
  if (tally.RevealedByYearsOnly()) {
    line += "; every date reads " + tally.OtherOrdersText() + " as well, with years nearer to now";
  } else {
    line += "; " + CountOf(tally.UnreadInOtherOrders(), "date reads", "dates read") + " only " +
            (swap ? std::string("with day and month swapped") : tally.OtherOrdersText());
  }
  const std::string better = BetterLayoutText(tally, d.examined);
  if (!better.empty()) line += ": " + better;
  lines.push_back(line);
}

void AppendMissing(std::vector<std::string>& lines, int64_t records, int32_t column,
                   const char* field, ImportFile import) {
  if (records == 0) return;
  const std::string why = column == 0 ? std::string("no column is set for the appointment ") + field
                                      : std::string("the appointment ") + field + " column (" +
                                            std::to_string(column) + ") is empty in every record";
  lines.push_back(why + ": " + CountOf(records, "record", "records") +
                  (import == ImportFile::kWritten ? " went out" : " would go out") +
                  " without one");
}

}  // namespace

int PassExitStatus(const UnreadReport& report) {
  return report.AnyUnread() || report.AnyDoubtful() || report.AnyMissing() || report.AnyStrayQuote()
             ? kPassLeftUnreadOrDoubtful
             : kPassCompleted;
}

void UnreadReport::Finish(int64_t fields, int32_t dateColumnSet, int32_t timeColumnSet) {
  dates.Finish(fields);
  times.Finish(fields);
  dates.doubtful = dateTally.Doubtful();
  dates.doubtfulExamples = dateTally.DoubtfulExamples();
  dateColumn = std::max(dateColumnSet, 0);
  timeColumn = std::max(timeColumnSet, 0);
  withoutDate = dateColumn == 0 || dates.examined == 0 ? fields : 0;
  withoutTime = timeColumn == 0 || times.examined == 0 ? fields : 0;
}

void UnreadField::NotRead(bool nothing, int64_t line, const LineColumns& split, int32_t column) {
  if (nothing) {
    ++nothingToRead;
    return;
  }
  std::string asItCame;  // layout 10 has appended its marker to the field
  split.ColumnInto(column, asItCame);
  LeftAsItCame(line, asItCame);
}

std::string QuotedForLog(std::string_view text) {
  std::string out = "\"";
  size_t end = text.size();
  if (end > kLongestExample) {
    end = kLongestExample;
    // Never cut a UTF-8 sequence in two.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  }
  for (size_t i = 0; i < end; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  out += end < text.size() ? "\"..." : "\"";
  return out;
}

namespace {

std::string LayoutName(std::string_view item, int32_t layout) {
  return item.empty() ? "none (" + std::to_string(layout) + ")" : QuotedForLog(item);
}

}  // namespace

std::string DateLayoutName(int32_t layout) {
  return LayoutName(ItemAt(kDateLayoutItems, layout), layout);
}

std::string TimeLayoutName(int32_t layout) {
  return LayoutName(ItemAt(kTimeLayoutItems, layout), layout);
}

std::string DateOrderName(const RegionalSettings& settings) {
  switch (DateFieldOrderOf(settings.shortDatePattern)) {
    case DateFieldOrder::kDayFirst:
      return "day first";
    case DateFieldOrder::kYearFirst:
      return "year first";
    case DateFieldOrder::kMonthFirst:
      break;
  }
  return "month first";
}

namespace {

// What the texts left as they came show of why, in words an admin acts on;
// none when nothing is recognisable.
std::vector<std::string> CausesOf(const UnreadReport& r) {
  std::vector<std::string> causes;
  const auto add = [&](const std::string& cause) {
    if (std::find(causes.begin(), causes.end(), cause) == causes.end()) causes.push_back(cause);
  };
  for (const UnreadField* field : {&r.dates, &r.times}) {
    for (const UnreadField::Example& e : field->examples) {
      // A whole line in one field: the export's separator is another one.
      static constexpr std::pair<char, const char*> kSeparators[] = {
          {';', "semicolons: --set delimiter=semicolon"},
          {'|', "pipes: --set delimiter=pipe"},
          {'\t', "TABs: --set delimiter=TAB"},
          {',', "commas: --set delimiter=\"comma or TAB\""}};
      for (const auto& [c, words] : kSeparators) {
        if (!SeparatesFields(r.delimiter, c) && std::count(e.text.begin(), e.text.end(), c) >= 2) {
          add(std::string("this export is separated by ") + words);
        }
      }
      if (field == &r.dates && r.dateLayout != kMonthNameLayout &&
          !MonthNameDateText(DatePartOf(e.text), &r.regional).empty()) {
        add("these dates have month names: --set date-layout=\"" +
            std::string(kDateLayoutItems[kMonthNameLayout]) + "\"");
      }
      const size_t blank = e.text.find_first_of(" T", 1);
      if (field == &r.dates && blank != std::string::npos && DatePartOf(e.text) == e.text &&
          ShapeOf(std::string_view(e.text).substr(0, blank)) == TextShape::kDate) {
        add("these dates hold more than a date, and what follows it is no time (hh:mm, "
            "seconds, am/pm, a zone)");
      }
    }
  }
  return causes;
}

}  // namespace

std::string ZonedTimesText(const UnreadReport& r) {
  if (r.zonedTimes == 0) return {};
  const std::string zone = r.regional.timeZone.empty() ? "UTC" : r.regional.timeZone;
  return CountOf(r.zonedTimes, "time was", "times were") +
         " written with a time zone and converted to this machine's zone (" + zone +
         "), their dates with them";
}

std::vector<std::string> UnreadSummary(const UnreadReport& r, ImportFile import) {
  std::vector<std::string> lines;
  if (!r.AnyUnread() && !r.AnyDoubtful() && !r.AnyMissing() && !r.AnyStrayQuote()) return lines;
  if (r.AnyStrayQuote()) {
    lines.push_back(CountOf(r.strayQuotes, "quote was", "quotes were") +
                    " left open (the first on source line " +
                    std::to_string(r.firstStrayQuoteLine) +
                    "): " + (import == ImportFile::kWritten ? "written" : "would be written") +
                    " as text, their lines split as they stand; check those records");
  }
  AppendMissing(lines, r.withoutDate, r.dateColumn, "date", import);
  AppendMissing(lines, r.withoutTime, r.timeColumn, "time", import);
  AppendField(lines, r.dates, "date", "dates", r.linesRead, import);
  if (r.dates.doubtful > 0) {
    AppendDoubtful(lines, r, import);
  } else if (r.dates.unread > 0) {
    // The admin of a scheduled run learns the setting that reads them.
    const std::string better = BetterLayoutText(r.dateTally, r.dates.examined);
    if (!better.empty()) lines.push_back("  " + better);
  }
  AppendField(lines, r.times, "time", "times", r.linesRead, import);
  for (const std::string& cause : CausesOf(r)) lines.push_back("  " + cause);
  const RegionalSettings& s = r.regional;
  lines.push_back("read by date layout " + DateLayoutName(r.dateLayout) + " with delimiting char " +
                  QuotedForLog(std::string_view(&r.dateDelimiter, 1)) + ", time layout " +
                  TimeLayoutName(r.timeLayout) + " with delimiting char " +
                  QuotedForLog(std::string_view(&r.timeDelimiter, 1)));
  lines.push_back("regional settings " + s.localeName + ": " + DateOrderName(s) +
                  ", date separator " + QuotedForLog(std::string_view(&s.dateSeparatorChar, 1)) +
                  ", time separator " + QuotedForLog(std::string_view(&s.timeSeparatorChar, 1)) +
                  ", designators " + QuotedForLog(s.amText) + " and " + QuotedForLog(s.pmText));
  return lines;
}

}  // namespace vantrelix
