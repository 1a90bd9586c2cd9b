#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "byte_scan.h"
#include "posix_file.h"
#include "replacing_file.h"

namespace vantrelix {

// How a source's bytes are written: 8-bit bytes as they stand, or UTF-16 (a
// spreadsheet's "Unicode Text"), which the reader turns into UTF-8.
enum class SourceEncoding { kBytes, kUtf16Little, kUtf16Big };
// From the first bytes of a file: a UTF-16 byte-order mark, or, without one,
// most of the odd (or the even) bytes zero and nearly none of the others. A
// stray NUL never makes a file UTF-16.
SourceEncoding EncodingOf(std::string_view firstBytes);
// In words, for the operator: empty for bytes as they stand.
std::string_view EncodingName(SourceEncoding encoding);

// Reads a source file line by line: LF or CR LF ends a line, any other CR is
// dropped, Ctrl-Z (26) ends the input, lines have no length limit, and
// reading past the end gives empty lines. The file is read in large blocks.
class TextReader {
 public:
  static constexpr size_t kDefaultBlockSize = 1 << 20;
  // Far beyond any export's line; a longer one is refused rather than read
  // into ever more memory (an endless line, a binary file).
  static constexpr size_t kMaxLineLength = size_t{64} << 20;

  // `path` names the file in error messages.
  explicit TextReader(FileDescriptor fd, size_t blockSize = kDefaultBlockSize,
                      std::string path = {});
  // Opens an existing file for reading; raises EInOutError.
  static TextReader Open(const std::string& path, size_t blockSize = kDefaultBlockSize);

  // The next line, without its line end, as a view that lasts until the next
  // read: into the read buffer when the line lies wholly in it, otherwise
  // into `scratch`. A line longer than kMaxLineLength raises ESourceProblem.
  // A UTF-8 byte-order mark that starts the file is left out. A UTF-16 file
  // is read as UTF-8.
  std::string_view ReadTextLineView(std::string& scratch);
  // The same line copied into `line`.
  void ReadTextLine(std::string& line);
  std::string ReadTextLine();
  // The bytes read ahead, from the next line on, for a caller that finds a
  // plain line's end itself (LF or CR LF, no other CR, no Ctrl-Z) and takes
  // it with SkipLine; empty when the next line needs the rules above (the
  // first line, after a Ctrl-Z, nothing read ahead).
  std::string_view ReadAhead() const {
    if (linesRead_ == 0 || endMarkSeen_) return {};
    return std::string_view(buffer_.data() + pos_, end_ - pos_);
  }
  // Takes a line that ReadAhead showed: `bytes` with its end.
  void SkipLine(size_t bytes) {
    pos_ += bytes;
    ++linesRead_;
  }
  // True when nothing is left to read or the next character is Ctrl-Z. An
  // unread line end (or lone CR) still counts as a character.
  bool TextAtEnd() {
    if (!endMarkSeen_ && pos_ < end_) return buffer_[pos_] == kEndMark;
    return AtEndOfBlock();
  }
  void Close() { fd_.Close(); }
  int Fd() const { return fd_.Get(); }
  // Known once the first line has been read.
  SourceEncoding Encoding() const { return encoding_; }

 private:
  bool Fill();
  bool AtEndOfBlock();
  // Fill for a UTF-16 source: the next stretch of it as UTF-8.
  bool FillDecoded();
  void Decode(size_t wanted);
  std::string_view NextLineView(std::string& scratch);
  // A line that crosses a block, or holds a lone CR or a Ctrl-Z.
  void ReadSlow(std::string& line);

  FileDescriptor fd_;
  std::string path_;
  int64_t linesRead_ = 0;
  IoBuffer buffer_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool endOfFile_ = false;
  bool endMarkSeen_ = false;
  bool bomChecked_ = false;
  bool encodingKnown_ = false;
  SourceEncoding encoding_ = SourceEncoding::kBytes;
  std::string raw_;      // UTF-16 bytes read and not yet decoded
  std::string decoded_;  // UTF-8 decoded and not yet in the buffer
  size_t decodedPos_ = 0;
  bool rawAtEnd_ = false;
  uint32_t highSurrogate_ = 0;
};

// Writes lines ended by CR LF through a large buffer into a file that
// replaces its target only when Close() has completed (see ReplacingFile).
class TextWriter {
 public:
  // `mustNotBe`: the open source, which the output may not be (code 32).
  explicit TextWriter(const std::string& path, const struct stat* mustNotBe = nullptr);

  void WriteTextLine(std::string_view text) {
    out_.Append(text);
    out_.Append("\r\n");
  }
  // Writes a line of at most `most` bytes that `fill` puts at the pointer it
  // is given, giving back the line's end: straight into the buffer.
  template <typename Fill>
  void WriteTextLineWith(size_t most, Fill&& fill) {
    if (char* const room = out_.Room(most + 2)) [[likely]] {
      char* const end = fill(room);
      end[0] = '\r';
      end[1] = '\n';
      out_.Commit(end + 2);
      return;
    }
    std::string line(most, '\0');
    line.resize(static_cast<size_t>(fill(line.data()) - line.data()));
    WriteTextLine(line);
  }
  // Writes what is buffered and puts the file in place.
  void Close();

 private:
  ReplacingFile file_;
  BufferedWriter out_;
};

}  // namespace vantrelix
