// The text-file reader against a plain model of the line rules, at several
// block sizes: LF ends a line, CRs are dropped, Ctrl-Z ends the input, the
// reader gives at least one line, a final LF adds none, and a UTF-8
// byte-order mark that starts the first line is left out; a UTF-16 file is
// read as its UTF-8.
#include <vector>

#include "fuzz_support.h"
#include "text_file.h"

namespace {

// UTF-16 to UTF-8, one unit at a time; U+FFFD for what is no character.
std::string ModelDecode(std::string_view in, bool little) {
  std::u32string chars;
  for (size_t i = 0; i + 1 < in.size(); i += 2) {
    const auto a = static_cast<uint8_t>(in[i]), b = static_cast<uint8_t>(in[i + 1]);
    chars.push_back(little ? (b << 8 | a) : (a << 8 | b));
  }
  std::u32string code;
  for (size_t i = 0; i < chars.size(); ++i) {
    const char32_t u = chars[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < chars.size() && chars[i + 1] >= 0xDC00 &&
        chars[i + 1] <= 0xDFFF) {
      code.push_back(0x10000 + ((u - 0xD800) << 10) + (chars[++i] - 0xDC00));
    } else {
      code.push_back(u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
    }
  }
  if (in.size() % 2 != 0) code.push_back(0xFFFD);
  std::string out;
  for (char32_t c : code) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
              static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

std::vector<std::string> Model(std::string_view raw) {
  using vantrelix::SourceEncoding;
  const SourceEncoding encoding = vantrelix::EncodingOf(raw.substr(0, 4096));
  const std::string text = encoding == SourceEncoding::kBytes
                               ? std::string(raw)
                               : ModelDecode(raw, encoding == SourceEncoding::kUtf16Little);
  std::string_view input = text;
  input = input.substr(0, input.find('\x1a'));
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < input.size(); ++i) {
    if (input[i] == '\n') {
      if (i + 1 < input.size()) lines.emplace_back();
    } else if (input[i] != '\r') {
      lines.back().push_back(input[i]);
    }
  }
  if (lines.front().rfind("\xEF\xBB\xBF", 0) == 0) lines.front().erase(0, 3);
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vantrelix;
  static const std::string path = fuzz::ScratchPath("vantrelix-fuzz-text");
  fuzz::WriteScratch(path, data, size);
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> expected = Model(input);
  for (size_t block : {size_t{1}, size_t{3}, size_t{64}, size_t{1} << 16}) {
    TextReader reader = TextReader::Open(path, block);
    std::vector<std::string> lines;
    std::string scratch;
    do {
      if (lines.size() % 2 == 0) {
        lines.push_back(reader.ReadTextLine());
      } else {
        lines.emplace_back(reader.ReadTextLineView(scratch));
      }
      FUZZ_CHECK(lines.size() <= expected.size(), "more lines than the model");
    } while (!reader.TextAtEnd());
    FUZZ_CHECK(lines == expected, "lines differ from the model at block " + std::to_string(block));
    FUZZ_CHECK(reader.ReadTextLine().empty(), "text past the end");
  }
  return 0;
}
