#include "source_lines.h"

#include "byte_scan.h"

namespace vantrelix {

namespace {

// Whether the quotes of `text` leave one open at its end: an odd number of
// them, counted sixteen bytes at a time.
bool QuoteOpenAtEnd(std::string_view text) {
  // The parity of all the masks is the parity of their exclusive or.
  unsigned masks = 0;
  size_t i = 0;
  for (; i + kScanBlock <= text.size(); i += kScanBlock) {
    masks ^= MatchMask16(text.data() + i, '"', '"', '"');
  }
  if (i < text.size() && text.size() >= kScanBlock) {
    // The last sixteen bytes, less those already counted.
    const size_t counted = kScanBlock - (text.size() - i);
    masks ^= MatchMask16(text.data() + text.size() - kScanBlock, '"', '"', '"') >> counted;
    i = text.size();
  }
  unsigned odd = __builtin_parity(masks);
  for (; i < text.size(); ++i) odd ^= text[i] == '"';
  return odd != 0;
}

bool IsFieldSeparator(char c) {
  return c == ',' || c == '\t' || c == ';' || c == '|';
}

// Where the quote that `text` leaves open begins; npos when none is open.
size_t OpenQuote(std::string_view text) {
  if (!QuoteOpenAtEnd(text)) return std::string_view::npos;
  size_t opened = std::string_view::npos;
  bool inside = false;
  for (size_t i = text.find('"'); i != std::string_view::npos; i = text.find('"', i + 1)) {
    inside = !inside;
    if (inside) opened = i;
  }
  return opened;
}

// A quote at `at` begins a field: the line's start or a separator before it,
// blanks between allowed. Any other ("6' 2\" tall") is text.
bool BeginsField(std::string_view text, size_t at) {
  while (at > 0 && text[at - 1] == ' ') --at;
  return at == 0 || IsFieldSeparator(text[at - 1]);
}

// The first quote of a line that goes on with a quoted field: none; one that
// ends the field (a separator, blanks or the line's end after it; "" is a
// quote inside it); or one inside text, which tells that the open quote was
// a stray one.
enum class Closing { kNone, kEndsField, kInsideText };
Closing FirstClosing(std::string_view line) {
  for (size_t i = line.find('"'); i != std::string_view::npos; i = line.find('"', i + 2)) {
    if (i + 1 < line.size() && line[i + 1] == '"') continue;
    size_t j = i + 1;
    while (j < line.size() && line[j] == ' ') ++j;
    return j == line.size() || IsFieldSeparator(line[j]) ? Closing::kEndsField
                                                         : Closing::kInsideText;
  }
  return Closing::kNone;
}

}  // namespace

std::string_view SourceRecords::NextLine() {
  ++linesRead_;
  if (!pending_.empty()) {
    pendingLine_ = std::move(pending_.front());
    pending_.pop_front();
    return pendingLine_;
  }
  return source_.ReadTextLineView(scratch_);
}

std::string_view SourceRecords::NextSplitSlowly(LineColumns& split, int32_t maxColumn) {
  const std::string_view record = Next();
  split.Split(record, maxColumn);
  return record;
}

void SourceRecords::CountStray() {
  ++strayQuotes_;
  if (firstStray_ == 0) firstStray_ = firstLine_;
}

std::string_view SourceRecords::Next() {
  std::string_view line = NextLine();
  firstLine_ = linesRead_;
  const size_t opened = OpenQuote(line);
  if (opened == std::string_view::npos) return line;
  if (!BeginsField(line, opened)) {
    CountStray();
    return line;
  }
  const size_t firstSize = line.size();
  record_.assign(line);
  std::deque<std::string> joined;
  bool open = true;
  while (open && static_cast<int>(joined.size()) + 1 < kMostJoinedLines &&
         record_.size() < kMostJoinedBytes && !AtEnd()) {
    const std::string_view next = NextLine();
    joined.emplace_back(next);
    const Closing closing = FirstClosing(next);
    if (closing == Closing::kInsideText) break;
    record_ += ' ';
    record_ += next;
    if (closing == Closing::kNone) continue;
    // Closed; a quote opened again later on the line must begin a field too.
    const size_t again = OpenQuote(record_);
    open = again != std::string_view::npos;
    if (open && !BeginsField(record_, again)) break;
  }
  if (!open) return record_;
  // A stray quote (or one the source ends inside): the lines read ahead come
  // again as records.
  CountStray();
  linesRead_ -= static_cast<int64_t>(joined.size());
  for (auto it = joined.rbegin(); it != joined.rend(); ++it) pending_.push_front(std::move(*it));
  record_.resize(firstSize);  // the first line alone
  return record_;
}

}  // namespace vantrelix
