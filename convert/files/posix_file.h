#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "eintr.h"
#include "stop_request.h"

namespace vantrelix {

// Repeats a system call that a signal interrupted (-1 with EINTR); a stop
// signal ends the work instead, through the same unwinding as an error.
template <typename Call>
auto RetryInterrupted(Call&& call) {
  return RetryOnEintr(call, ThrowIfStopRequested);
}

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

// openat() with close-on-exec and no controlling terminal, retried when a
// signal interrupts it; -1 with errno on failure.
int OpenAt(int folder, const char* path, int flags, mode_t mode = 0);

// A path's folder ("." for a bare name, "/" at the root) and last part.
std::pair<std::string, std::string> SplitPath(const std::string& path);

// True when `path` names something that is not a folder.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// True when nothing stands under `path`: no such file, a folder on the way
// missing, or a link that leads nowhere. A loop of links or a name that
// cannot be searched is something, which opening it names.
bool NothingNamed(const std::string& path);

// Raises an EFileProblem that says what `path` is unless `st` is of a
// regular file on a disk: a folder, a pipe (one nobody writes would stall the
// run and, with it, every later start), a socket, a device, or a file that
// the kernel makes up (/proc, /sys; of the open `fd`, when it is not -1).
void RequireDiskFile(const struct stat& st, int fd, const std::string& path);

// Opens an existing regular file on a disk without ever blocking (see
// RequireDiskFile). Raises EFileProblem.
FileDescriptor OpenFile(const std::string& path, int flags);

// A file in a folder that other users may write, found without trusting
// their links: a symbolic link is followed only when it belongs to the
// running user or to root, at most a few links in a row, and only to a
// regular file; anything else is "File access denied". A folder that
// belongs to anyone else is refused with a message that says how to set it
// up: its owner could replace any file in it. `exists` is false when no
// entry of that name is there. `toReplace`: the file is about to be replaced
// by a rename, so a pipe, a socket or another user's link under its name is
// `planted` (the rename takes its place) rather than refused.
struct FolderEntry {
  FileDescriptor folder;  // opened once (O_PATH); every later call is relative to it
  std::string folderPath;
  std::string name;
  bool exists = false;
  bool planted = false;
  struct stat status {};  // of the regular file, when it exists
};
FolderEntry FindInFolder(const std::string& path, bool toReplace = false);

// Opens an entry that FindInFolder found, without following links.
FileDescriptor OpenEntry(const FolderEntry& entry, int flags);

// Reads up to `size` bytes, retrying on EINTR and short reads; gives the count
// read (less than `size` only at the end of the file).
size_t ReadFully(int fd, void* buffer, size_t size);

// Writes all of `data`; a device that takes no more raises "Disk full".
void WriteFully(int fd, std::string_view data);

// A large I/O buffer left uninitialised: only the pages that a file's bytes
// reach are touched, so that a small file costs little.
class IoBuffer {
 public:
  explicit IoBuffer(size_t size) : data_(new char[size]), size_(size) {}
  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  size_t size() const { return size_; }
  char operator[](size_t i) const { return data_[i]; }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_;
};

// A file as it stands: which one it is, and its size and time of change.
// Two equal versions are the same file, unchanged between them as far as
// the file system tells.
struct FileVersion {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  time_t seconds = 0;
  long nanoseconds = 0;
  static FileVersion Of(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
  }
  bool operator==(const FileVersion&) const = default;
};

// Output through a large buffer.
class BufferedWriter {
 public:
  explicit BufferedWriter(int fd, size_t capacity = 1 << 20);
  void Append(std::string_view data);
  // Room for `n` more bytes at the buffer's end, for text written in place
  // and kept by Commit; nullptr when `n` is more than the buffer can hold.
  char* Room(size_t n) {
    if (n > buffer_.size() - used_ && !MakeRoom(n)) [[unlikely]] {
      return nullptr;
    }
    return buffer_.data() + used_;
  }
  // Keeps what was written in the room, up to `end`.
  void Commit(const char* end) { used_ = static_cast<size_t>(end - buffer_.data()); }
  void Flush();

 private:
  // Grows or flushes the buffer; whether `n` more bytes fit then.
  bool MakeRoom(size_t n);

  int fd_;
  IoBuffer buffer_;
  size_t capacity_;
  size_t used_ = 0;
  off_t written_ = 0;
};

// A name in a folder that is removed when the object goes away, unless it
// was released.
class FolderName {
 public:
  FolderName() = default;
  FolderName(int folder, std::string name) : folder_(folder), name_(std::move(name)) {}
  FolderName(FolderName&& other) noexcept;
  FolderName& operator=(FolderName&& other) noexcept;
  ~FolderName();
  const std::string& Name() const { return name_; }
  void Release() { name_.clear(); }

 private:
  int folder_ = -1;
  std::string name_;
};

}  // namespace vantrelix
