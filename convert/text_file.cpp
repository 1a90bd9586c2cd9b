#include "text_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "inouterror.h"
#include "system_calls.h"

namespace vantrelix {

namespace {
constexpr char kEndMark = 26;  // Ctrl-Z
}

TextReader::TextReader(FileDescriptor fd, size_t blockSize)
    : fd_(std::move(fd)), buffer_(blockSize == 0 ? 1 : blockSize) {}

TextReader TextReader::Open(const std::string& path, size_t blockSize) {
  return TextReader(OpenFile(path, O_RDONLY), blockSize);
}

bool TextReader::Fill() {
  if (endOfFile_) return false;
  ssize_t n;
  do {
    n = Sys().read(fd_.Get(), buffer_.data(), buffer_.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) ThrowIoError(errno);
  if (n == 0) {
    endOfFile_ = true;
    return false;
  }
  pos_ = 0;
  end_ = static_cast<size_t>(n);
  return true;
}

void TextReader::ReadTextLine(std::string& line) {
  line.clear();
  if (endMarkSeen_) return;
  for (;;) {
    if (pos_ == end_ && !Fill()) return;
    const char* start = buffer_.data() + pos_;
    const size_t available = end_ - pos_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', available));
    const char* stop = newline != nullptr ? newline : start + available;
    const auto* mark = static_cast<const char*>(std::memchr(start, kEndMark, stop - start));
    if (mark != nullptr) stop = mark;

    // Copy the stretch, leaving out every CR.
    for (const char* p = start; p < stop;) {
      const auto* cr = static_cast<const char*>(std::memchr(p, '\r', stop - p));
      const char* chunkEnd = cr != nullptr ? cr : stop;
      line.append(p, chunkEnd);
      p = cr != nullptr ? cr + 1 : stop;
    }

    if (mark != nullptr) {
      endMarkSeen_ = true;
      pos_ = static_cast<size_t>(mark - buffer_.data());
      return;
    }
    if (newline != nullptr) {
      pos_ = static_cast<size_t>(newline - buffer_.data()) + 1;
      return;
    }
    pos_ = end_;
  }
}

std::string_view TextReader::ReadTextLineView(std::string& scratch) {
  // Fast path: the whole line and its LF are in the buffer, with no Ctrl-Z
  // and no CR other than one right before the LF.
  if (!endMarkSeen_ && pos_ < end_) {
    const char* start = buffer_.data() + pos_;
    const size_t available = end_ - pos_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', available));
    if (newline != nullptr) {
      size_t length = static_cast<size_t>(newline - start);
      const size_t text = length > 0 && start[length - 1] == '\r' ? length - 1 : length;
      if (std::memchr(start, '\r', text) == nullptr &&
          std::memchr(start, kEndMark, length) == nullptr) {
        pos_ += length + 1;
        return std::string_view(start, text);
      }
    }
  }
  ReadTextLine(scratch);
  return scratch;
}

std::string TextReader::ReadTextLine() {
  std::string line;
  ReadTextLine(line);
  return line;
}

bool TextReader::TextAtEnd() {
  if (endMarkSeen_) return true;
  if (pos_ == end_ && !Fill()) return true;
  return buffer_[pos_] == kEndMark;
}

TextWriter::TextWriter(const std::string& path, const struct stat* mustNotBe)
    : file_(path, mustNotBe), out_(file_.Fd()) {}

void TextWriter::Close() {
  out_.Flush();
  file_.Commit();
}

}  // namespace vantrelix
