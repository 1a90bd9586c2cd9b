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

std::string_view SourceRecords::Next() {
  std::string_view line = NextLine();
  firstLine_ = linesRead_;
  if (!QuoteOpenAtEnd(line)) return line;
  const size_t firstSize = line.size();
  record_.assign(line);
  std::deque<std::string> joined;
  bool open = true;
  while (open && static_cast<int>(joined.size()) + 1 < kMostJoinedLines &&
         record_.size() < kMostJoinedBytes && !AtEnd()) {
    const std::string_view next = NextLine();
    joined.emplace_back(next);
    record_ += ' ';
    record_ += next;
    open = QuoteOpenAtEnd(record_);
  }
  if (!open) return record_;
  // A stray quote (or one the source ends inside): the lines read ahead come
  // again as records.
  ++strayQuotes_;
  if (firstStray_ == 0) firstStray_ = firstLine_;
  linesRead_ -= static_cast<int64_t>(joined.size());
  for (auto it = joined.rbegin(); it != joined.rend(); ++it) pending_.push_front(std::move(*it));
  record_.resize(firstSize);  // the first line alone
  return record_;
}

}  // namespace vantrelix
