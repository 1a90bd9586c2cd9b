#include "inouterror.h"

#include <sys/stat.h>
#include <cerrno>

namespace vantrelix {

namespace {
constexpr int kFileTooLarge = 223;      // ERROR_FILE_TOO_LARGE
constexpr int kCantResolveName = 1921;  // ERROR_CANT_RESOLVE_FILENAME: link loop
}  // namespace

std::string InOutErrorMessage(int code) {
  switch (code) {
    case io_code::kFileNotFound:
      return "File not found";
    case io_code::kPathNotFound:
      return "Invalid filename";
    case io_code::kTooManyOpenFiles:
      return "Too many open files";
    case io_code::kAccessDenied:
      return "File access denied";
    case io_code::kReadBeyondEnd:
      return "Read beyond end of file";
    case io_code::kDiskFull:
      return "Disk full";
    case io_code::kInvalidNumericInput:
      return "Invalid numeric input";
    default:
      break;
  }
  // A code without a text of its own keeps its number, which support staff
  // look up, and says the cause where it is one an operator can act on.
  std::string text = "I/O error " + std::to_string(code);
  switch (code) {
    case io_code::kNotEnoughMemory:
      return text + ": not enough memory";
    case io_code::kWriteProtected:
      return text + ": the file system is read-only";
    case io_code::kIsAFolder:
      return text + ": a folder, not a file";
    case kFileTooLarge:
      return text + ": larger than this process may write (ulimit -f) or the file system holds";
    case kCantResolveName:
      return text + ": too many links in a row, or a loop of links";
    default:
      return text;
  }
}

namespace {

bool ParentFolderExists(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return true;  // relative to the current folder
  const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
  struct stat st {};
  return ::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Codes for errnos without a fixed message. Each is the Windows code of the
// nearest meaning; none collides with the codes that have a message of their
// own (EIO, whose Linux value is 5, must not read "File access denied").
constexpr int kGeneralFailure = 31;        // ERROR_GEN_FAILURE: device or I/O fault
constexpr int kInvalidHandle = 6;          // ERROR_INVALID_HANDLE
constexpr int kNotSameDevice = 17;         // ERROR_NOT_SAME_DEVICE
constexpr int kFileExists = 80;            // ERROR_FILE_EXISTS
constexpr int kInvalidParameter = 87;      // ERROR_INVALID_PARAMETER
constexpr int kFilenameTooLong = 206;      // ERROR_FILENAME_EXCED_RANGE
constexpr int kUnlistedErrnoBase = 10000;  // errno N without a counterpart: 10000 + N

}  // namespace

int IoCodeFromErrno(int err, const std::string& path) {
  switch (err) {
    // Something named does not exist.
    case ENOENT:
      return path.empty() || ParentFolderExists(path) ? io_code::kFileNotFound
                                                      : io_code::kPathNotFound;
    case ENOTDIR:  // a file stands where the path needs a folder
      return io_code::kPathNotFound;

    // The user may not do this here.
    case EACCES:
    case EPERM:
      return io_code::kAccessDenied;
    case EROFS:
      return io_code::kWriteProtected;
    case EISDIR:  // a folder where a file is expected
      return io_code::kIsAFolder;

    // Resource limits.
    case EMFILE:
    case ENFILE:
      return io_code::kTooManyOpenFiles;
    case ENOSPC:
    case EDQUOT:
      return io_code::kDiskFull;
    case ENOMEM:
      return io_code::kNotEnoughMemory;
    case EFBIG:
      return kFileTooLarge;

    // Another program holds the file in a way that excludes us.
    case ETXTBSY:
    case EBUSY:
      return io_code::kSharingViolation;

    case EIO:
      return kGeneralFailure;
    case EBADF:
      return kInvalidHandle;
    case EXDEV:
      return kNotSameDevice;
    case EEXIST:
      return kFileExists;
    case EINVAL:
      return kInvalidParameter;
    case ENAMETOOLONG:
      return kFilenameTooLong;
    case ELOOP:
      return kCantResolveName;

    default:
      return kUnlistedErrnoBase + err;
  }
}

void ThrowIoError(int err, const std::string& path) {
  throw EInOutError(IoCodeFromErrno(err, path), path);
}

}  // namespace vantrelix
