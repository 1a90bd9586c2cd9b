#pragma once

#include <stdexcept>
#include <string>

namespace vantrelix {

// Error codes a file operation reports. They are the codes a Windows program
// would have received, so that the messages users and the companion product's
// support staff know ("File access denied", "I/O error 32") stay the same.
namespace io_code {
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;  // shown as "Invalid filename"
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kSharingViolation = 32;
inline constexpr int kReadBeyondEnd = 100;
inline constexpr int kDiskFull = 101;
inline constexpr int kInvalidNumericInput = 106;
}  // namespace io_code

// The message for a code: the fixed texts, otherwise "I/O error <code>".
std::string InOutErrorMessage(int code);

// A failed file operation. Carries the code; the message follows from it.
class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(int code) : std::runtime_error(InOutErrorMessage(code)), code_(code) {}
  int ErrorCode() const { return code_; }

 private:
  int code_;
};

// Maps a Linux errno to the code of the table above. `path` is the file the
// failing call named, if any: ENOENT means a missing folder on the path (3)
// rather than a missing file (2) when the file's parent folder is missing.
int IoCodeFromErrno(int err, const std::string& path = {});

// Throws EInOutError for `err` (normally errno, captured right after the call).
[[noreturn]] void ThrowIoError(int err, const std::string& path = {});

}  // namespace vantrelix
