#include "text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "byte_scan.h"
#include "inouterror.h"
#include "stop_request.h"
#include "system_calls.h"

namespace vantrelix {

namespace {

constexpr char kEndMark = 26;  // Ctrl-Z

// No larger than the file needs: most sources are far smaller than a block.
size_t BlockFor(int fd, size_t blockSize) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    blockSize = std::min(blockSize, std::max<size_t>(static_cast<size_t>(st.st_size) + 1, 4096));
  }
  return blockSize == 0 ? 1 : blockSize;
}

}  // namespace

TextReader::TextReader(FileDescriptor fd, size_t blockSize, std::string path)
    : fd_(std::move(fd)), path_(std::move(path)), buffer_(BlockFor(fd_.Get(), blockSize)) {}

TextReader TextReader::Open(const std::string& path, size_t blockSize) {
  return TextReader(OpenFile(path, O_RDONLY), blockSize, path);
}

bool TextReader::Fill() {
  if (endOfFile_) return false;
  const ssize_t n =
      RetryInterrupted([this] { return Sys().read(fd_.Get(), buffer_.data(), buffer_.size()); });
  if (n < 0) ThrowIoError(errno, path_);
  if (n == 0) {
    endOfFile_ = true;
    return false;
  }
  pos_ = 0;
  end_ = static_cast<size_t>(n);
  return true;
}

void TextReader::ReadSlow(std::string& line) {
  line.clear();
  ++linesRead_;
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
    if (line.size() > kMaxLineLength) {
      throw ESourceProblem("Line " + std::to_string(linesRead_) + " is longer than 64 MiB", path_);
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
  std::string_view line = NextLineView(scratch);
  // Spreadsheets' "CSV UTF-8" starts with a byte-order mark: no part of the
  // first field.
  if (linesRead_ == 1 && !bomChecked_) {
    bomChecked_ = true;
    if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
  }
  return line;
}

std::string_view TextReader::NextLineView(std::string& scratch) {
  // Fast path: the whole line and its LF are in the buffer, with no Ctrl-Z
  // and no CR other than one right before the LF. One pass finds the first
  // LF, CR or Ctrl-Z.
  if (!endMarkSeen_ && pos_ < end_) {
    const char* start = buffer_.data() + pos_;
    const char* const stop = buffer_.data() + end_;
    const char* special = start;
    for (;; special += kScanBlock) {
      if (static_cast<size_t>(stop - special) < kScanBlock) {
        while (special < stop && *special != '\n' && *special != '\r' && *special != kEndMark)
          ++special;
        break;
      }
      if (const unsigned hits = MatchMask16(special, '\n', '\r', kEndMark); hits != 0) {
        special += __builtin_ctz(hits);
        break;
      }
    }
    if (special < stop) {
      const auto text = static_cast<size_t>(special - start);
      if (*special == '\n') {
        ++linesRead_;
        pos_ += text + 1;
        return std::string_view(start, text);
      }
      if (*special == '\r' && special + 1 < stop && special[1] == '\n') {
        ++linesRead_;
        pos_ += text + 2;
        return std::string_view(start, text);
      }
    }
  }
  ReadSlow(scratch);
  return scratch;
}

void TextReader::ReadTextLine(std::string& line) {
  const std::string_view view = ReadTextLineView(line);
  if (view.data() != line.data()) line.assign(view);
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
