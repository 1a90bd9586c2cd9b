#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "comma.h"
#include "setup_record.h"
#include "text_file.h"

namespace vantrelix {

// The source's records: its lines, except that a quote still open at a
// line's end takes the next lines into the record (a notes cell written
// with line breaks), each break as one blank, so that the import keeps one
// line per record. Only a quote that begins a field opens such a record, and
// only one that ends a field closes it. A quote still open after
// kMostJoinedLines lines or kMostJoinedBytes, one that closes inside text, or
// one that opens inside text ("6' 2\" tall") is taken as a stray one: its
// record ends at its own line and the lines after it are records again.
class SourceRecords {
 public:
  static constexpr int kMostJoinedLines = 100;
  static constexpr size_t kMostJoinedBytes = 64 * 1024;

  explicit SourceRecords(TextReader& source) : source_(source) {}

  // The next record; valid until the next call.
  std::string_view Next();
  // The same, split into `split` for columns up to `maxColumn`. A plain
  // line is split where the reader holds it, in the scan that finds its end.
  std::string_view NextSplit(LineColumns& split, int32_t maxColumn) {
    if (pending_.empty()) {
      const std::string_view bytes = source_.ReadAhead();
      size_t size = 0;
      if (const size_t taken = split.SplitPlainLine(bytes, maxColumn, size)) {
        source_.SkipLine(taken);
        firstLine_ = ++linesRead_;
        return bytes.substr(0, size);
      }
    }
    return NextSplitSlowly(split, maxColumn);
  }
  // True when no record is left (as TextReader::TextAtEnd).
  bool AtEnd() { return pending_.empty() && source_.TextAtEnd(); }
  // The source line the last record began on (1-based).
  int64_t FirstLine() const { return firstLine_; }
  // Quotes taken as stray ones, and the line of the first.
  int64_t StrayQuotes() const { return strayQuotes_; }
  int64_t FirstStrayQuoteLine() const { return firstStray_; }

 private:
  std::string_view NextLine();
  std::string_view NextSplitSlowly(LineColumns& split, int32_t maxColumn);
  void CountStray();

  TextReader& source_;
  std::string scratch_, record_;
  std::deque<std::string> pending_;  // lines read ahead for a quote that did not close
  std::string pendingLine_;
  int64_t linesRead_ = 0;
  int64_t firstLine_ = 0;
  int64_t strayQuotes_ = 0;
  int64_t firstStray_ = 0;
};

// One source line as the pass and the preview see it.
struct SourceLine {
  std::string_view text;     // without its line end
  int64_t number;            // the record's number, a skipped header counted
  const LineColumns& split;  // the line split once for the record's columns
};

// The highest column the positions ask for (at least 1).
inline int32_t HighestColumn(const int32_t (&columns)[kFieldSlotCount]) {
  return std::max<int32_t>(1, *std::max_element(std::begin(columns), std::end(columns)));
}

// Reads the source's records, dropping a header when `skipHeader` (it is
// counted), and hands every record, split at `delimiter` for columns up to
// `maxColumn`, to `visit`. Stops at the end of the source, or when `visit`
// gives false. Every record read gives one visit, so an empty source gives
// one empty line. Gives the number of records read.
template <typename Visit>
int64_t ForEachSourceLine(SourceRecords& records, bool skipHeader, int32_t maxColumn,
                          FieldDelimiter delimiter, Visit&& visit) {
  LineColumns split(delimiter);
  int64_t count = 0;
  for (;;) {
    if (count == 0 && skipHeader) {
      records.Next();  // the header is dropped, but counted
      count = 1;
    }
    const std::string_view line = records.NextSplit(split, maxColumn);
    ++count;
    if (!visit(SourceLine{line, count, split}) || records.AtEnd()) return count;
  }
}

template <typename Visit>
int64_t ForEachSourceLine(TextReader& source, bool skipHeader, int32_t maxColumn,
                          FieldDelimiter delimiter, Visit&& visit) {
  SourceRecords records(source);
  return ForEachSourceLine(records, skipHeader, maxColumn, delimiter, visit);
}

}  // namespace vantrelix
