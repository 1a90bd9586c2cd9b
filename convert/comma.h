#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrelix {

// What an empty source line gives for every column.
inline constexpr std::string_view kBlankLinePlaceholder = "--Blank Line--";

// Column `column` (1-based) of a comma- or TAB-delimited line, with every
// double quote removed. Quotes toggle a "protected" state in which commas and
// TABs are text. Column 0 and absent columns give empty text; a column below
// 0 gives the first column; an empty line gives "--Blank Line--".
std::string Comma(std::string_view line, int32_t column);

// The same, into `out` (replacing its contents), so that a pass over many
// lines reuses one buffer.
void CommaInto(std::string_view line, int32_t column, std::string& out);

}  // namespace vantrelix
