#include "posix_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <tuple>

#include "accounts.h"
#include "inouterror.h"
#include "stop_request.h"
#include "system_calls.h"

namespace vantrelix {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void FileDescriptor::Close() {
  const int fd = Release();
  // No retry on EINTR: on Linux the descriptor is gone whatever close says.
  if (fd >= 0 && Sys().close(fd) != 0 && errno != EINTR) ThrowIoError(errno);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && RetryOnEintr([&] { return ::stat(path.c_str(), &st); }) == 0 &&
         !S_ISDIR(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && RetryOnEintr([&] { return ::stat(path.c_str(), &st); }) == 0 &&
         S_ISDIR(st.st_mode);
}

bool NothingNamed(const std::string& path) {
  struct stat st {};
  return path.empty() || (RetryOnEintr([&] { return ::stat(path.c_str(), &st); }) != 0 &&
                          (errno == ENOENT || errno == ENOTDIR));
}

int OpenAt(int folder, const char* path, int flags, mode_t mode) {
  return RetryInterrupted(
      [&] { return Sys().openat(folder, path, flags | O_CLOEXEC | O_NOCTTY, mode); });
}

std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

namespace {

// The file systems whose files the kernel makes up as they are read: their
// 0444 files (a process's map, its command line) look readable by anyone,
// yet the kernel answers each reader about itself or refuses other users.
bool KernelMadeFileSystem(int fd) {
  struct statfs fs {};
  if (RetryInterrupted([&] { return ::fstatfs(fd, &fs); }) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC:
    case EFIVARFS_MAGIC:
    case PSTOREFS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case 0x62656570:  // configfs
    case SELINUX_MAGIC:
    case SMACK_MAGIC:
    case BINFMTFS_MAGIC:
      return true;
    default:
      return false;
  }
}

[[noreturn]] void ThrowNotADiskFile(const char* what, const std::string& path) {
  throw EFileProblem(std::string("Not a file on a disk: ") + what, path);
}

}  // namespace

void RequireDiskFile(const struct stat& st, int fd, const std::string& path) {
  if (S_ISDIR(st.st_mode)) ThrowIoError(EISDIR, path);
  if (S_ISFIFO(st.st_mode)) ThrowNotADiskFile("a pipe (FIFO), which would wait for a writer", path);
  if (S_ISSOCK(st.st_mode)) ThrowNotADiskFile("a socket", path);
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) ThrowNotADiskFile("a device", path);
  if (!S_ISREG(st.st_mode)) ThrowIoError(EACCES, path);
  if (fd >= 0 && KernelMadeFileSystem(fd)) {
    ThrowNotADiskFile("a file the kernel makes up as it is read (/proc, /sys)", path);
  }
}

namespace {

// Whether the open file still has the name the kernel gives for it: not a
// deleted file or a process's memory (a memfd), which a link into
// /proc/PID/fd reaches and whose readers cannot be told. Without /proc, the
// name cannot be looked up, and the file counts as named.
bool NamedInFileSystem(int fd, const struct stat& st) {
  std::string name(PATH_MAX, '\0');
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(self.c_str(), name.data(), name.size());
  if (n <= 0 || static_cast<size_t>(n) >= name.size()) return true;
  name.resize(static_cast<size_t>(n));
  struct stat byName {};
  return name[0] == '/' && RetryOnEintr([&] { return ::stat(name.c_str(), &byName); }) == 0 &&
         byName.st_dev == st.st_dev && byName.st_ino == st.st_ino;
}

// Refuses what is not a regular file on a disk, before anything is read
// from it.
FileDescriptor RequireRegular(FileDescriptor fd, const std::string& path) {
  struct stat st {};
  if (RetryInterrupted([&] { return Sys().fstat(fd.Get(), &st); }) != 0) ThrowIoError(errno, path);
  RequireDiskFile(st, fd.Get(), path);
  if (!NamedInFileSystem(fd.Get(), st)) {
    ThrowNotADiskFile("it has no name in the file system (a deleted file, or a process's memory)",
                      path);
  }
  return fd;
}

constexpr int kMaxLinks = 8;

// Links that anyone but these may have planted are not followed.
bool TrustedLinkOwner(uid_t owner) {
  return owner == ::geteuid() || owner == 0;
}

}  // namespace

FileDescriptor OpenFile(const std::string& path, int flags) {
  // O_NONBLOCK: opening a pipe must not wait for a writer.
  const int fd = OpenAt(AT_FDCWD, path.c_str(), flags | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    // A socket cannot be opened at all; it is told for what it is.
    struct stat st {};
    if (error == ENXIO && ::stat(path.c_str(), &st) == 0) RequireDiskFile(st, -1, path);
    ThrowIoError(error, path);
  }
  return RequireRegular(FileDescriptor(fd), path);
}

namespace {

// Whoever owns a folder may replace, link or rename anything in it: only
// root's and the running user's own are trusted with files written or read
// on their word.
void RequireTrustedFolder(int folder, const std::string& folderPath) {
  struct stat st {};
  if (RetryInterrupted([&] { return Sys().fstat(folder, &st); }) != 0) {
    ThrowIoError(errno, folderPath);
  }
  if (TrustedLinkOwner(st.st_uid)) return;
  // The folder's group, unless it is the owner's own (then the clinic's
  // group is for the administrator to name).
  const struct passwd* owner = ::getpwuid(st.st_uid);
  const std::string group =
      owner != nullptr && owner->pw_gid == st.st_gid ? "clinic" : GroupName(st.st_gid);
  throw EFileProblem("The folder belongs to the user " + UserName(st.st_uid) +
                         ", who could put anything in place of its files; the administrator "
                         "gives it to root and the clinic's group: chown root:" +
                         group + " '" + folderPath + "'; chmod 2770 '" + folderPath + "'",
                     folderPath);
}

}  // namespace

FolderEntry FindInFolder(const std::string& path, bool toReplace) {
  FolderEntry entry;
  std::string current = path;
  for (int hop = 0;; ++hop) {
    std::tie(entry.folderPath, entry.name) = SplitPath(current);
    // The folder may be such a link too, where members may create it (a
    // shared folder that the administrator has not made yet).
    struct stat folderEntry {};
    if (hop == 0 &&
        RetryInterrupted([&] { return ::lstat(entry.folderPath.c_str(), &folderEntry); }) == 0 &&
        S_ISLNK(folderEntry.st_mode) && !TrustedLinkOwner(folderEntry.st_uid)) {
      ThrowIoError(EACCES, path);
    }
    const int folder = OpenAt(AT_FDCWD, entry.folderPath.c_str(), O_PATH | O_DIRECTORY);
    if (folder < 0) ThrowIoError(errno, current);
    entry.folder = FileDescriptor(folder);
    RequireTrustedFolder(folder, entry.folderPath);

    struct stat st {};
    if (RetryInterrupted(
            [&] { return ::fstatat(folder, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW); }) != 0) {
      if (errno != ENOENT) ThrowIoError(errno, current);
      if (hop > 0) ThrowIoError(EACCES, path);  // a dangling link: no regular file
      entry.exists = false;
      return entry;
    }
    // What another member planted under the name (a link, a pipe, a socket)
    // is replaced, never used. Not a device: no member can make one, and
    // root's are the system's.
    const bool planted = hop == 0 && toReplace &&
                         (S_ISLNK(st.st_mode) ? !TrustedLinkOwner(st.st_uid)
                                              : S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
    if (planted) {
      entry.planted = true;
      return entry;
    }
    if (S_ISLNK(st.st_mode)) {
      // A loop of links ends here rather than spinning.
      if (hop == kMaxLinks || !TrustedLinkOwner(st.st_uid)) {
        ThrowIoError(EACCES, path);
      }
      std::string link(PATH_MAX, '\0');
      const ssize_t n = ::readlinkat(folder, entry.name.c_str(), link.data(), link.size());
      if (n <= 0 || static_cast<size_t>(n) >= link.size()) ThrowIoError(EACCES, path);
      link.resize(static_cast<size_t>(n));
      current = link[0] == '/' ? link : entry.folderPath + "/" + link;
      continue;
    }
    RequireDiskFile(st, -1, path);
    entry.exists = true;
    entry.status = st;
    return entry;
  }
}

FileDescriptor OpenEntry(const FolderEntry& entry, int flags) {
  const std::string path = entry.folderPath + "/" + entry.name;
  const int fd = OpenAt(entry.folder.Get(), entry.name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK);
  // The entry was swapped for a link since it was found.
  if (fd < 0) ThrowIoError(errno == ELOOP ? EACCES : errno, path);
  return RequireRegular(FileDescriptor(fd), path);
}

size_t ReadFully(int fd, void* buffer, size_t size) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = RetryInterrupted([&] { return Sys().read(fd, out + done, size - done); });
    if (n < 0) ThrowIoError(errno);
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void WriteFully(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = RetryInterrupted([&] { return Sys().write(fd, data.data(), data.size()); });
    if (n < 0) ThrowIoError(errno);
    if (n == 0) ThrowIoError(ENOSPC);
    data.remove_prefix(static_cast<size_t>(n));
  }
}

// The buffer starts small and grows to `capacity` as output comes: a small
// import file never pays for a large buffer.
BufferedWriter::BufferedWriter(int fd, size_t capacity)
    : fd_(fd), buffer_(std::min<size_t>(capacity, 64 << 10)), capacity_(capacity) {}

bool BufferedWriter::MakeRoom(size_t n) {
  if (buffer_.size() < capacity_) {
    IoBuffer larger(std::min(capacity_, std::max(buffer_.size() * 2, used_ + n)));
    std::memcpy(larger.data(), buffer_.data(), used_);
    buffer_ = std::move(larger);
  }
  if (n > buffer_.size() - used_) Flush();
  return n <= buffer_.size() - used_;
}

void BufferedWriter::Append(std::string_view data) {
  if (data.size() > buffer_.size() - used_ && !MakeRoom(data.size())) {
    WriteFully(fd_, data);
    return;
  }
  std::memcpy(buffer_.data() + used_, data.data(), data.size());
  used_ += data.size();
}

void BufferedWriter::Flush() {
  if (used_ == 0) return;
  const size_t n = used_;
  used_ = 0;  // a failed write is not retried at the next flush
  WriteFully(fd_, std::string_view(buffer_.data(), n));
  // Start writing the block to disk now, while the pass goes on, so that the
  // final fsync has little left to wait for. Only a hint: errors show there.
  ::sync_file_range(fd_, written_, static_cast<off_t>(n), SYNC_FILE_RANGE_WRITE);
  written_ += static_cast<off_t>(n);
}

FolderName::FolderName(FolderName&& other) noexcept
    : folder_(other.folder_), name_(std::move(other.name_)) {
  other.name_.clear();
}

FolderName& FolderName::operator=(FolderName&& other) noexcept {
  if (this != &other) {
    if (!name_.empty()) Sys().unlinkat(folder_, name_.c_str(), 0);
    folder_ = other.folder_;
    name_ = std::move(other.name_);
    other.name_.clear();
  }
  return *this;
}

FolderName::~FolderName() {
  if (!name_.empty()) Sys().unlinkat(folder_, name_.c_str(), 0);
}

}  // namespace vantrelix
