#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrelix {

// "1,204": a count an admin reads at a glance.
inline std::string WithThousands(int64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  const size_t first = n < 0 ? 1 : 0;  // a sign is no digit
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > first && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

// "1 date", "1,204 dates", "2 quotes were": a count with the words that
// agree with it.
inline std::string CountOf(int64_t n, std::string_view one, std::string_view many) {
  std::string out = WithThousands(n);
  out.push_back(' ');
  out.append(n == 1 ? one : many);
  return out;
}

}  // namespace vantrelix
