#include "posix_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <tuple>

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
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

int OpenAt(int folder, const char* path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = Sys().openat(folder, path, flags | O_CLOEXEC | O_NOCTTY, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Refuses what is not a regular file, before anything is read from it.
FileDescriptor RequireRegular(FileDescriptor fd, const std::string& path) {
  struct stat st {};
  if (Sys().fstat(fd.Get(), &st) != 0) ThrowIoError(errno, path);
  if (S_ISDIR(st.st_mode)) ThrowIoError(EISDIR, path);
  if (!S_ISREG(st.st_mode)) ThrowIoError(EACCES, path);
  return fd;
}

std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

constexpr int kMaxLinks = 8;

}  // namespace

FileDescriptor OpenFile(const std::string& path, int flags) {
  // O_NONBLOCK: opening a pipe must not wait for a writer.
  const int fd = OpenAt(AT_FDCWD, path.c_str(), flags | O_NONBLOCK);
  if (fd < 0) ThrowIoError(errno, path);
  return RequireRegular(FileDescriptor(fd), path);
}

FolderEntry FindInFolder(const std::string& path) {
  FolderEntry entry;
  std::string current = path;
  for (int hop = 0;; ++hop) {
    std::tie(entry.folderPath, entry.name) = SplitPath(current);
    const int folder = OpenAt(AT_FDCWD, entry.folderPath.c_str(), O_PATH | O_DIRECTORY);
    if (folder < 0) ThrowIoError(errno, current);
    entry.folder = FileDescriptor(folder);

    struct stat st {};
    if (::fstatat(folder, entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) ThrowIoError(errno, current);
      if (hop > 0) ThrowIoError(EACCES, path);  // a dangling link: no regular file
      entry.exists = false;
      return entry;
    }
    if (S_ISLNK(st.st_mode)) {
      struct stat folderStatus {};
      if (hop == kMaxLinks || Sys().fstat(folder, &folderStatus) != 0 ||
          (st.st_uid != ::geteuid() && st.st_uid != folderStatus.st_uid)) {
        ThrowIoError(EACCES, path);
      }
      std::string link(PATH_MAX, '\0');
      const ssize_t n = ::readlinkat(folder, entry.name.c_str(), link.data(), link.size());
      if (n <= 0 || static_cast<size_t>(n) >= link.size()) ThrowIoError(EACCES, path);
      link.resize(static_cast<size_t>(n));
      current = link[0] == '/' ? link : entry.folderPath + "/" + link;
      continue;
    }
    if (S_ISDIR(st.st_mode)) ThrowIoError(EISDIR, path);
    if (!S_ISREG(st.st_mode)) ThrowIoError(EACCES, path);  // a device, a pipe, a socket
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
    const ssize_t n = Sys().read(fd, out + done, size - done);
    if (n < 0) {
      if (errno != EINTR) ThrowIoError(errno);
      ThrowIfStopRequested();
      continue;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void WriteFully(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = Sys().write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno != EINTR) ThrowIoError(errno);
      ThrowIfStopRequested();
      continue;
    }
    if (n == 0) ThrowIoError(ENOSPC);
    data.remove_prefix(static_cast<size_t>(n));
  }
}

// The buffer starts small and grows to `capacity` as output comes: a small
// import file never pays for a large buffer.
BufferedWriter::BufferedWriter(int fd, size_t capacity)
    : fd_(fd), buffer_(std::min<size_t>(capacity, 64 << 10)), capacity_(capacity) {}

void BufferedWriter::Append(std::string_view data) {
  if (data.size() > buffer_.size() - used_) {
    if (buffer_.size() < capacity_) {
      IoBuffer larger(std::min(capacity_, std::max(buffer_.size() * 2, used_ + data.size())));
      std::memcpy(larger.data(), buffer_.data(), used_);
      buffer_ = std::move(larger);
    }
  }
  if (data.size() > buffer_.size() - used_) {
    Flush();
    if (data.size() >= buffer_.size()) {
      WriteFully(fd_, data);
      return;
    }
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

namespace {

mode_t CurrentUmask() {
  // The process is single-threaded where files are written, so the brief
  // change cannot race another thread's create.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// Syncs a folder's entries. A folder the user may search but not read is
// synced through its file system instead.
void SyncFolder(int folder, int fileInIt, const std::string& path) {
  const int fd = OpenAt(folder, ".", O_RDONLY | O_DIRECTORY);
  if (fd < 0) {
    if (errno != EACCES) ThrowIoError(errno, path);
    if (::syncfs(fileInIt) != 0) ThrowIoError(errno, path);
    return;
  }
  FileDescriptor dir(fd);
  if (Sys().fsync(fd) != 0 && errno != EINVAL) ThrowIoError(errno, path);
}

std::string RandomSuffix() {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[6];
  if (::getentropy(bytes, sizeof bytes) != 0) {
    const auto seed = static_cast<unsigned>(::getpid()) ^ static_cast<unsigned>(::time(nullptr));
    for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(seed >> i * 5);
  }
  std::string suffix;
  for (unsigned char b : bytes) suffix.push_back(kLetters[b % (sizeof kLetters - 1)]);
  return suffix;
}

std::string TemporaryPrefix(const std::string& name) {
  return "." + name + ".";
}

// Removes the temporary files of earlier runs that were killed: those whose
// lock no process holds. A folder we may not read keeps them.
void RemoveStaleTemporaryFiles(int folder, const std::string& name) {
  const int fd = OpenAt(folder, ".", O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return;
  }
  const std::string prefix = TemporaryPrefix(name);
  while (const dirent* e = ::readdir(dir)) {
    const std::string_view entry = e->d_name;
    if (entry.size() != prefix.size() + 6 || entry.substr(0, prefix.size()) != prefix) continue;
    const int file = OpenAt(folder, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (file < 0) continue;
    struct stat st {};
    if (::fstat(file, &st) == 0 && S_ISREG(st.st_mode) && ::flock(file, LOCK_EX | LOCK_NB) == 0) {
      Sys().unlinkat(folder, e->d_name, 0);
    }
    ::close(file);
  }
  ::closedir(dir);
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& target, const struct stat* mustNotBe)
    : target_(FindInFolder(target)) {
  const std::string path = target_.folderPath + "/" + target_.name;
  const struct stat& existing = target_.status;
  if (target_.exists) {
    if (mustNotBe != nullptr && existing.st_dev == mustNotBe->st_dev &&
        existing.st_ino == mustNotBe->st_ino) {
      throw EInOutError(io_code::kSharingViolation, path);
    }
    // Opening for writing without truncating asks the kernel whether we may
    // write the file, and changes nothing; the descriptor serves a rewrite in
    // place.
    inPlace_ = OpenEntry(target_, O_WRONLY);
  }

  const int folder = target_.folder.Get();
  const int fd = OpenAt(folder, ".", O_TMPFILE | O_WRONLY, 0600);
  if (fd >= 0) {
    fd_ = FileDescriptor(fd);
    unnamed_ = true;
  } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
    CreateNamed();  // a file system without unnamed files (network shares)
  } else if ((errno == EACCES || errno == EPERM) && target_.exists) {
    // The folder takes no new file, but the file may be written: the new
    // contents are gathered first and copied over it at the commit.
    const int copy = ::memfd_create("vantrelix-new", MFD_CLOEXEC);
    if (copy < 0) ThrowIoError(errno, path);
    fd_ = FileDescriptor(copy);
    return;
  } else {
    ThrowIoError(errno, path);
  }
  inPlace_ = FileDescriptor();  // a new file is written after all
  // Held from the moment it gets a name at the commit (a named one is locked
  // in CreateNamed), so that no other run takes it for stale.
  if (unnamed_) ::flock(fd_.Get(), LOCK_EX);

  // Read and write bits only: no set-id, sticky or execute bit of a planted
  // file carries over to a patient list.
  const mode_t mode = target_.exists ? (existing.st_mode & 0666) : (0666 & ~CurrentUmask());
  if (Sys().fchmod(fd_.Get(), mode) != 0) ThrowIoError(errno, path);
  if (target_.exists) {
    // Keeps the companion product's and the other users' access: the group
    // where we may give it (a member of it may), the owner when root runs us.
    if (::geteuid() == 0 && existing.st_uid != 0) {
      [[maybe_unused]] const int ignored =
          Sys().fchown(fd_.Get(), existing.st_uid, existing.st_gid);
    } else if (existing.st_gid != ::getegid()) {
      [[maybe_unused]] const int ignored =
          Sys().fchown(fd_.Get(), static_cast<uid_t>(-1), existing.st_gid);
    }
  }
}

void ReplacingFile::CreateNamed() {
  const int folder = target_.folder.Get();
  RemoveStaleTemporaryFiles(folder, target_.name);
  const std::string path = target_.folderPath + "/" + target_.name;
  for (int attempt = 0;; ++attempt) {
    const std::string name = TemporaryPrefix(target_.name) + RandomSuffix();
    const int fd = OpenAt(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fd < 0) {
      if (errno == EEXIST && attempt < 100) continue;
      ThrowIoError(errno, path);
    }
    FileDescriptor file(fd);
    FolderName entry(folder, name);
    // Locked while it is written, so that no other run takes it for stale;
    // one that did so between the create and the lock took our name away.
    struct stat byName {
    }, byFd{};
    if (::flock(fd, LOCK_EX) != 0 ||
        ::fstatat(folder, name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) != 0 ||
        Sys().fstat(fd, &byFd) != 0 || byName.st_ino != byFd.st_ino) {
      entry.Release();
      if (attempt < 100) continue;
      ThrowIoError(EEXIST, path);
    }
    fd_ = std::move(file);
    temporary_ = std::move(entry);
    return;
  }
}

ReplacingFile::~ReplacingFile() = default;  // an uncommitted name goes with temporary_

void ReplacingFile::CommitInPlace() {
  const std::string path = target_.folderPath + "/" + target_.name;
  const int out = inPlace_.Get();
  if (::lseek(fd_.Get(), 0, SEEK_SET) != 0 || ::ftruncate(out, 0) != 0) ThrowIoError(errno, path);
  std::vector<char> block(1 << 20);
  for (;;) {
    const size_t n = ReadFully(fd_.Get(), block.data(), block.size());
    if (n == 0) break;
    WriteFully(out, std::string_view(block.data(), n));
  }
  if (Sys().fsync(out) != 0) ThrowIoError(errno, path);
  inPlace_.Close();
  fd_ = FileDescriptor();
}

void ReplacingFile::Commit() {
  const std::string path = target_.folderPath + "/" + target_.name;
  if (inPlace_.IsOpen()) {
    ConcerningFile(path, [this] { CommitInPlace(); });
    return;
  }
  const int folder = target_.folder.Get();
  if (Sys().fsync(fd_.Get()) != 0) ThrowIoError(errno, path);
  if (unnamed_) {
    // The unnamed file gets a temporary name, then the target's: a link
    // cannot replace an existing name.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_.Get());
    for (int attempt = 0;; ++attempt) {
      const std::string name = TemporaryPrefix(target_.name) + RandomSuffix();
      // Without /proc (a bare chroot) the descriptor itself is linked,
      // which the kernel allows to privileged callers only.
      if (Sys().linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
          (errno == ENOENT &&
           Sys().linkat(fd_.Get(), "", folder, name.c_str(), AT_EMPTY_PATH) == 0)) {
        temporary_ = FolderName(folder, name);
        break;
      }
      if (errno != EEXIST || attempt == 100) ThrowIoError(errno, path);
    }
  }
  SyncFolder(folder, fd_.Get(), path);
  if (Sys().renameat(folder, temporary_.Name().c_str(), folder, target_.name.c_str()) != 0) {
    ThrowIoError(errno, path);
  }
  temporary_.Release();
  // The new file is in place now: a failure to sync its folder entry, or to
  // close the synced file, must not be reported as a failed pass.
  try {
    SyncFolder(folder, fd_.Get(), path);
  } catch (const EInOutError&) {
  }
  Sys().close(fd_.Release());
}

}  // namespace vantrelix
