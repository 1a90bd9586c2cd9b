#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "comma.h"
#include "setup_record.h"
#include "text_file.h"

namespace vantrelix {

// One source line as the pass and the preview see it.
struct SourceLine {
  std::string_view text;     // without its line end
  int64_t number;            // in the source, a skipped header line counted
  const LineColumns& split;  // the line split once for the record's columns
};

// The highest column the positions ask for (at least 1).
inline int32_t HighestColumn(const int32_t (&columns)[kFieldSlotCount]) {
  return std::max<int32_t>(1, *std::max_element(std::begin(columns), std::end(columns)));
}

// Reads the source by the text-file rules, dropping a header line when
// `skipHeader` (it is counted), and hands every line, split at `delimiter`
// for columns up to `maxColumn`, to `visit`. Stops at the end of the source, or when `visit`
// gives false. Every line read gives one visit, so an empty source gives one
// empty line. Gives the number of lines read.
template <typename Visit>
int64_t ForEachSourceLine(TextReader& source, bool skipHeader, int32_t maxColumn,
                          FieldDelimiter delimiter, Visit&& visit) {
  std::string scratch;
  LineColumns split(delimiter);
  int64_t count = 0;
  for (;;) {
    std::string_view line = source.ReadTextLineView(scratch);
    if (count == 0 && skipHeader) {
      line = source.ReadTextLineView(scratch);  // the header is dropped, but counted
      count = 1;
    }
    split.Split(line, maxColumn);
    ++count;
    if (!visit(SourceLine{line, count, split}) || source.TextAtEnd()) return count;
  }
}

}  // namespace vantrelix
