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

// No larger than the file needs: most sources are far smaller than a block.
size_t BlockFor(int fd, size_t blockSize) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    blockSize = std::min(blockSize, std::max<size_t>(static_cast<size_t>(st.st_size) + 1, 4096));
  }
  return blockSize == 0 ? 1 : blockSize;
}

}  // namespace

SourceEncoding EncodingOf(std::string_view b) {
  if (b.size() >= 2 && b[0] == '\xFF' && b[1] == '\xFE') return SourceEncoding::kUtf16Little;
  if (b.size() >= 2 && b[0] == '\xFE' && b[1] == '\xFF') return SourceEncoding::kUtf16Big;
  const size_t pairs = b.size() / 2;
  if (pairs < 2) return SourceEncoding::kBytes;
  size_t zeroEven = 0, zeroOdd = 0;
  for (size_t i = 0; i < 2 * pairs; i += 2) {
    zeroEven += b[i] == '\0';
    zeroOdd += b[i + 1] == '\0';
  }
  // ASCII text in UTF-16 has a zero in every other byte.
  if (2 * zeroOdd > pairs && 10 * zeroEven < pairs) return SourceEncoding::kUtf16Little;
  if (2 * zeroEven > pairs && 10 * zeroOdd < pairs) return SourceEncoding::kUtf16Big;
  return SourceEncoding::kBytes;
}

std::string_view EncodingName(SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::kUtf16Little:
      return "UTF-16 little-endian, read as UTF-8";
    case SourceEncoding::kUtf16Big:
      return "UTF-16 big-endian, read as UTF-8";
    case SourceEncoding::kBytes:
      break;
  }
  return {};
}

TextReader::TextReader(FileDescriptor fd, size_t blockSize, std::string path)
    : fd_(std::move(fd)), path_(std::move(path)), buffer_(BlockFor(fd_.Get(), blockSize)) {}

TextReader TextReader::Open(const std::string& path, size_t blockSize) {
  return TextReader(OpenFile(path, O_RDONLY), blockSize, path);
}

bool TextReader::Fill() {
  if (endOfFile_) return false;
  if (!encodingKnown_) {
    // Looked at without moving the read position; a source that cannot be
    // read so (a pipe) is taken as bytes.
    encodingKnown_ = true;
    char first[4096];
    const ssize_t n = RetryInterrupted([&] { return ::pread(fd_.Get(), first, sizeof first, 0); });
    if (n > 0) encoding_ = EncodingOf(std::string_view(first, static_cast<size_t>(n)));
  }
  if (encoding_ != SourceEncoding::kBytes) return FillDecoded();
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

namespace {

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | c >> 6));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | c >> 12));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | c >> 18));
    out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;  // for a lone surrogate or an odd last byte
constexpr size_t kRawChunk = 1 << 16;

}  // namespace

// Decodes until `wanted` bytes of UTF-8 wait, or the file ends.
void TextReader::Decode(size_t wanted) {
  decoded_.erase(0, decodedPos_);
  decodedPos_ = 0;
  size_t at = 0;
  while (decoded_.size() < wanted) {
    if (raw_.size() - at < 2) {
      raw_.erase(0, at);
      at = 0;
      if (rawAtEnd_) {
        if (highSurrogate_ != 0) AppendUtf8(decoded_, kReplacement);
        if (!raw_.empty()) AppendUtf8(decoded_, kReplacement);  // an odd last byte
        highSurrogate_ = 0;
        raw_.clear();
        return;
      }
      const size_t have = raw_.size();
      raw_.resize(have + kRawChunk);
      const ssize_t n =
          RetryInterrupted([&] { return Sys().read(fd_.Get(), raw_.data() + have, kRawChunk); });
      if (n < 0) ThrowIoError(errno, path_);
      raw_.resize(have + static_cast<size_t>(n));
      rawAtEnd_ = n == 0;
      continue;
    }
    const auto b0 = static_cast<uint8_t>(raw_[at]), b1 = static_cast<uint8_t>(raw_[at + 1]);
    at += 2;
    const uint32_t unit =
        encoding_ == SourceEncoding::kUtf16Little ? (b1 << 8 | b0) : (b0 << 8 | b1);
    if (highSurrogate_ != 0) {
      const uint32_t high = highSurrogate_;
      highSurrogate_ = 0;
      if (unit >= 0xDC00 && unit <= 0xDFFF) {
        AppendUtf8(decoded_, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
        continue;
      }
      AppendUtf8(decoded_, kReplacement);
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      highSurrogate_ = unit;
    } else {
      AppendUtf8(decoded_, unit >= 0xDC00 && unit <= 0xDFFF ? kReplacement : unit);
    }
  }
  raw_.erase(0, at);
}

bool TextReader::FillDecoded() {
  if (decoded_.size() - decodedPos_ < buffer_.size()) Decode(std::max(buffer_.size(), kRawChunk));
  const size_t n = std::min(buffer_.size(), decoded_.size() - decodedPos_);
  if (n == 0) {
    endOfFile_ = true;
    return false;
  }
  std::memcpy(buffer_.data(), decoded_.data() + decodedPos_, n);
  decodedPos_ += n;
  pos_ = 0;
  end_ = n;
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

bool TextReader::AtEndOfBlock() {
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
