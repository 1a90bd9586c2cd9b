#include "source_lines.h"

#include <cstring>

namespace vantrelix {

namespace {

// Whether the quotes of `text` leave one open at its end.
bool QuoteOpenAtEnd(std::string_view text) {
  bool open = false;
  for (const char *p = text.data(), *end = p + text.size();;) {
    p = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
    if (p == nullptr) return open;
    open = !open;
    ++p;
  }
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
