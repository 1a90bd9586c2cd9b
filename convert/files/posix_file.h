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
#include "file_writers.h"
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

// Who may have written the file of `status`.
FileWriters WritersOf(const struct stat& status);

// Who may have written `target` once a ReplacingFile has replaced it: the
// running user, and the group or anyone as the replaced file's mode lets
// them (the mode and group a new file gets where there is none).
FileWriters WritersOfReplacement(const std::string& target);

// Raises "File access denied" for `path` unless each of `writers` other than
// the running user and root may read the open file `fd`: its permission bits
// for them and the search bits of the folders on its way.
void RequireReadableByWriters(const FileWriters& writers, int fd, const std::string& path);

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

// Output through a large buffer.
class BufferedWriter {
 public:
  explicit BufferedWriter(int fd, size_t capacity = 1 << 20);
  void Append(std::string_view data);
  void Flush();

 private:
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

// A file that replaces `target` only when Commit() has run. The new contents
// go into a file without a name (O_TMPFILE) in the target's folder, which
// gets its name only at the commit, once it is on disk: a failed, stopped or
// killed run leaves the target as it was and nothing else behind. Where the
// file system has no unnamed files, a named temporary file is used, locked
// while it is written; every run removes the ones no process holds.
//
// The new file gets the read and write bits and the group of the file it
// replaces (the owner too when root runs us), or 0666 less the umask.
// Where the folder takes no new file but the target may be written, the
// target is rewritten in place from a complete copy prepared first.
class ReplacingFile {
 public:
  // Raises EInOutError before anything is written when the target could not
  // be written: a folder, a device, a pipe or a foreign link in its place, or
  // no write permission ("File access denied"), a missing folder ("Invalid
  // filename"), or the target being the file `mustNotBe` (code 32, the file is
  // in use as the source).
  explicit ReplacingFile(const std::string& target, const struct stat* mustNotBe = nullptr);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  int Fd() const { return fd_.Get(); }
  // Syncs and puts the file in place; raises EInOutError on failure.
  void Commit();

 private:
  void CreateNamed(mode_t mode);
  void CommitInPlace();

  FolderEntry target_;
  FileDescriptor fd_;       // the new contents
  FolderName temporary_;    // the new file's temporary name, once it has one
  FileDescriptor inPlace_;  // the target itself, when it is rewritten in place
  bool unnamed_ = false;    // fd_ is an O_TMPFILE file
};

}  // namespace vantrelix
