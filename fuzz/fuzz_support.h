#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "regional.h"

namespace vantrelix::fuzz {

// Stops the run with a message: libFuzzer records the input.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "property violated: %s\n", what.c_str());
  std::abort();
}
#define FUZZ_CHECK(cond, what)                  \
  do {                                          \
    if (!(cond)) ::vantrelix::fuzz::Fail(what); \
  } while (0)

// A few regional settings to run every input under.
inline RegionalSettings Settings(int which) {
  RegionalSettings s;
  switch (which % 5) {
    case 0:
      break;  // the defaults: month first, "/", ":", am/pm
    case 1:
      s.shortDatePattern = "dd/MM/yyyy";
      s.amText = "AM";
      s.pmText = "PM";
      break;
    case 2:
      s.shortDatePattern = "dd.MM.yy";
      s.dateSeparatorChar = '.';
      s.timeSeparatorChar = '.';
      s.decimalSeparatorChar = ',';
      s.amText.clear();
      s.pmText.clear();
      break;
    case 3:
      s.shortDatePattern = "yyyy-MM-dd";
      s.dateSeparatorChar = '-';
      break;
    case 4:
      s.shortDatePattern = "y/MM/dd";  // Japanese
      s.amText = "\xe5\x8d\x88\xe5\x89\x8d";
      break;
  }
  return s;
}

inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// "mm/dd/yy" with the regional separator.
inline bool IsFormattedDate(std::string_view t, const RegionalSettings& s) {
  const std::string sep = s.dateSeparatorChar ? std::string(1, s.dateSeparatorChar) : "";
  if (t.size() != 6 + 2 * sep.size()) return false;
  size_t i = 0;
  for (int part = 0; part < 3; ++part) {
    if (!IsDigit(t[i]) || !IsDigit(t[i + 1])) return false;
    i += 2;
    if (part < 2) {
      if (t.substr(i, sep.size()) != sep) return false;
      i += sep.size();
    }
  }
  const int month = (t[0] - '0') * 10 + (t[1] - '0');
  const int day = (t[2 + sep.size()] - '0') * 10 + (t[3 + sep.size()] - '0');
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// "hh:mm am" / "hh:mm pm" with the regional separator.
inline bool IsFormattedTime(std::string_view t, const RegionalSettings& s) {
  const std::string sep = s.timeSeparatorChar ? std::string(1, s.timeSeparatorChar) : "";
  if (t.size() != 7 + sep.size()) return false;
  const std::string_view marker = t.substr(t.size() - 3);
  if (marker != " am" && marker != " pm") return false;
  if (!IsDigit(t[0]) || !IsDigit(t[1]) || t.substr(2, sep.size()) != sep) return false;
  const int hour = (t[0] - '0') * 10 + (t[1] - '0');
  const int minute = (t[2 + sep.size()] - '0') * 10 + (t[3 + sep.size()] - '0');
  return hour >= 1 && hour <= 12 && minute >= 0 && minute <= 59;
}

// A scratch file for targets that need a real file.
inline std::string ScratchPath(const char* name) {
  const char* dir = std::getenv("VANTRELIX_FUZZ_DIR");
  return std::string(dir != nullptr ? dir : "/tmp") + "/" + name + "-" + std::to_string(::getpid());
}

inline std::string ReadScratch(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail("cannot read scratch file");
  std::string bytes;
  char block[1 << 16];
  for (ssize_t n; (n = ::read(fd, block, sizeof block)) != 0;) {
    if (n < 0) Fail("cannot read scratch file");
    bytes.append(block, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

inline void WriteScratch(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) Fail("cannot write scratch file");
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) Fail("cannot write scratch file");
    done += static_cast<size_t>(n);
  }
  ::close(fd);
}

}  // namespace vantrelix::fuzz
