#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace vantrelix {

// An owned file descriptor, closed on destruction without a report (callers
// that care about close errors call Close()).
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  int Release();
  // Closes and raises EInOutError when the system reports a failure.
  void Close();

 private:
  int fd_ = -1;
};

// True when `path` names something that is not a folder.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

// Opens an existing file; raises EInOutError with the mapped code.
FileDescriptor OpenFile(const std::string& path, int flags);

// Reads up to `size` bytes, retrying on EINTR and short reads; gives the count
// read (less than `size` only at the end of the file).
size_t ReadFully(int fd, void* buffer, size_t size);

// Writes all of `data`; a device that takes no more raises "Disk full".
void WriteFully(int fd, std::string_view data);

// Output through a large buffer.
class BufferedWriter {
 public:
  explicit BufferedWriter(int fd, size_t capacity = 1 << 20);
  void Append(std::string_view data);
  void Flush();

 private:
  int fd_;
  std::vector<char> buffer_;
  size_t used_ = 0;
  off_t written_ = 0;
};

// A file that replaces `target` only when Commit() has run: the data goes into
// a temporary file beside the target, created exclusively, and is renamed over
// the target once it is on disk. On any failure, and when the object goes away
// uncommitted, the target keeps what it held and the temporary file is removed.
//
// The new file gets the permission bits (and, where allowed, the owner) of the
// file it replaces, or those a plain create gives (0666 less the umask).
// A target that exists but is not a regular file (a device such as /dev/full,
// a pipe) cannot be replaced by a rename; it is written in place instead.
class ReplacingFile {
 public:
  // Raises EInOutError before anything is written when the target could not
  // be written: a folder in its place or no write permission ("File access
  // denied"), a missing folder ("Invalid filename"), or the target being the
  // file `mustNotBe` (code 32, the file is in use as the source).
  explicit ReplacingFile(const std::string& target, const struct stat* mustNotBe = nullptr);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  int Fd() const { return fd_.Get(); }
  // Syncs, closes and puts the file in place; raises EInOutError on failure.
  void Commit();
  const std::string& TemporaryPath() const { return tempPath_; }

 private:
  std::string target_;
  std::string tempPath_;  // empty when writing in place
  FileDescriptor fd_;
  bool committed_ = false;
};

}  // namespace vantrelix
