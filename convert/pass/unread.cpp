#include "unread.h"

#include "normalise.h"

namespace vantrelix {

namespace {

constexpr size_t kLongestExample = 60;

std::string Plural(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Written(ImportFile import) {
  return import == ImportFile::kWritten ? "written to TOLV_D.TXT"
                                        : "would be written to TOLV_D.TXT";
}

void AppendField(std::vector<std::string>& lines, const UnreadField& field, const char* one,
                 const char* many, int64_t linesRead, ImportFile import) {
  if (field.unread == 0) return;
  lines.push_back(std::to_string(field.unread) + " of " + Plural(field.examined, one, many) +
                  " not read, " + Written(import) + " as " + (field.unread == 1 ? "it" : "they") +
                  " came (" + Plural(linesRead, "line", "lines") + " read):");
  for (const UnreadField::Example& e : field.examples) {
    lines.push_back("  line " + std::to_string(e.line) + ": " + QuotedForLog(e.text));
  }
  const int64_t more = field.unread - static_cast<int64_t>(field.examples.size());
  if (more > 0) lines.push_back("  and " + std::to_string(more) + " more");
}

// The dates that may have day and month swapped, with the layout that would
// read the ones that did not read.
void AppendDoubtful(std::vector<std::string>& lines, const UnreadReport& r, ImportFile import) {
  const UnreadField& d = r.dates;
  if (d.doubtful == 0) return;
  std::string line = std::to_string(d.doubtful) + " of " + Plural(d.examined, "date", "dates") +
                     " may have day and month swapped, " + Written(import) + " as read";
  if (!d.doubtfulExamples.empty()) {
    const UnreadField::Example& e = d.doubtfulExamples.front();
    line += " (line " + std::to_string(e.line) + ": " + QuotedForLog(e.text) + ")";
  }
  line += "; " + Plural(d.unreadSwapped, "date reads", "dates read") +
          " only with day and month swapped";
  if (r.swappedLayout >= 0) {
    line += ": date layout " + DateLayoutName(r.swappedLayout) + " with delimiting char " +
            QuotedForLog(std::string_view(&r.swappedDelimiter, 1)) + " reads the column";
  }
  lines.push_back(line);
}

}  // namespace

int PassExitStatus(const UnreadReport& report) {
  return report.AnyUnread() || report.AnyDoubtful() ? kPassLeftUnreadOrDoubtful : kPassCompleted;
}

void UnreadField::NoteDate(DateVerdict verdict, bool emptyLine, int64_t line,
                           const LineColumns& split, int32_t column) {
  switch (verdict) {
    case DateVerdict::kRead:
      return;
    case DateVerdict::kReadEitherWay:
      if (++readEitherWay <= static_cast<int64_t>(kExamples)) {
        std::string asItCame;
        split.ColumnInto(column, asItCame);
        eitherWayExamples.push_back({line, std::move(asItCame)});
      }
      return;
    case DateVerdict::kUnreadSwapped:
      ++unreadSwapped;
      break;
    case DateVerdict::kNothingToRead:
    case DateVerdict::kUnread:
      break;
  }
  NotRead(emptyLine || verdict == DateVerdict::kNothingToRead, line, split, column);
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

std::string DateLayoutName(int32_t layout) {
  if (layout >= 0 && layout < static_cast<int32_t>(kDateLayoutItems.size())) {
    return QuotedForLog(kDateLayoutItems[static_cast<size_t>(layout)]);
  }
  return "none (" + std::to_string(layout) + ")";
}

std::string TimeLayoutName(int32_t layout) {
  if (layout >= 0 && layout < static_cast<int32_t>(kTimeLayoutItems.size())) {
    return QuotedForLog(kTimeLayoutItems[static_cast<size_t>(layout)]);
  }
  return "none (" + std::to_string(layout) + ")";
}

std::string DateOrderName(const RegionalSettings& settings) {
  switch (DateFieldOrderOf(settings.shortDatePattern)) {
    case DateFieldOrder::kDayFirst:
      return "day first";
    case DateFieldOrder::kYearFirst:
    case DateFieldOrder::kYearDayMonth:
      return "year first";
    case DateFieldOrder::kMonthFirst:
      break;
  }
  return "month first";
}

std::vector<std::string> UnreadSummary(const UnreadReport& r, ImportFile import) {
  std::vector<std::string> lines;
  if (!r.AnyUnread() && !r.AnyDoubtful()) return lines;
  AppendField(lines, r.dates, "date", "dates", r.linesRead, import);
  AppendDoubtful(lines, r, import);
  AppendField(lines, r.times, "time", "times", r.linesRead, import);
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
