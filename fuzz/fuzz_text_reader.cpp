// The text-file reader against a plain model of the line rules, at several
// block sizes: LF ends a line, CRs are dropped, Ctrl-Z ends the input, the
// reader gives at least one line, a final LF adds none, and a UTF-8
// byte-order mark that starts the first line is left out.
#include <vector>

#include "fuzz_support.h"
#include "text_file.h"

namespace {

std::vector<std::string> Model(std::string_view input) {
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
