#pragma once

#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace vantrelix {

// Error codes a file operation reports. They are the codes a Windows program
// would have received, so that the messages users and the companion product's
// support staff know ("File access denied", "I/O error 32") stay the same.
namespace io_code {
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;  // shown as "Invalid filename"
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kNotEnoughMemory = 8;  // ERROR_NOT_ENOUGH_MEMORY
inline constexpr int kWriteProtected = 19;  // ERROR_WRITE_PROTECT: a read-only file system
inline constexpr int kIsAFolder = 267;      // ERROR_DIRECTORY: a folder where a file belongs
inline constexpr int kSharingViolation = 32;
inline constexpr int kReadBeyondEnd = 100;
inline constexpr int kDiskFull = 101;
inline constexpr int kInvalidNumericInput = 106;
}  // namespace io_code

// The message for a code: the fixed texts, otherwise "I/O error <code>",
// followed by the cause for a few codes an operator can act on.
std::string InOutErrorMessage(int code);

// A problem with one file, which the console names beside the message.
class EFileProblem : public std::runtime_error {
 public:
  EFileProblem(const std::string& message, std::string path)
      : std::runtime_error(message), path_(std::move(path)) {}
  const std::string& Path() const { return path_; }
  // Names the file where the failing call did not know it.
  void SetPathIfUnknown(const std::string& path) {
    if (path_.empty()) path_ = path;
  }

 private:
  std::string path_;
};

// A failed file operation. Carries the code; the message follows from it.
class EInOutError : public EFileProblem {
 public:
  explicit EInOutError(int code, std::string path = {})
      : EFileProblem(InOutErrorMessage(code), std::move(path)), code_(code) {}
  int ErrorCode() const { return code_; }

 private:
  int code_;
};

// A source that cannot be converted as it is (a line beyond any export's
// size, a file that changed while it was read).
class ESourceProblem : public EFileProblem {
 public:
  using EFileProblem::EFileProblem;
};

// Runs `operation`; a file problem it raises without a file name gets `path`,
// and so does memory running out while it works on the file.
template <typename Operation>
decltype(auto) ConcerningFile(const std::string& path, Operation&& operation) {
  try {
    return operation();
  } catch (EFileProblem& e) {
    e.SetPathIfUnknown(path);
    throw;
  } catch (const std::bad_alloc&) {
    throw EInOutError(io_code::kNotEnoughMemory, path);
  }
}

// Maps a Linux errno to the code of the table above. `path` is the file the
// failing call named, if any: ENOENT means a missing folder on the path (3)
// rather than a missing file (2) when the file's parent folder is missing.
int IoCodeFromErrno(int err, const std::string& path = {});

// Throws EInOutError for `err` (normally errno, captured right after the call).
[[noreturn]] void ThrowIoError(int err, const std::string& path = {});

}  // namespace vantrelix
