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

namespace {

int OpenAt(int folder, const char* path, int flags, mode_t mode = 0) {
  return RetryInterrupted(
      [&] { return Sys().openat(folder, path, flags | O_CLOEXEC | O_NOCTTY, mode); });
}

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

std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
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

std::string UserName(uid_t uid) {
  std::vector<char> text(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, text.data(), text.size(), &found) == 0 && found != nullptr) {
    return found->pw_name;
  }
  return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  std::vector<char> text(65536);
  struct group entry {};
  struct group* found = nullptr;
  if (::getgrgid_r(gid, &entry, text.data(), text.size(), &found) == 0 && found != nullptr) {
    return found->gr_name;
  }
  return std::to_string(gid);
}

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

void SyncFile(int fd, const std::string& path) {
  if (RetryInterrupted([fd] { return Sys().fsync(fd); }) != 0) ThrowIoError(errno, path);
}

// Syncs a folder's entries. A folder the user may search but not read is
// synced through its file system instead.
void SyncFolder(int folder, int fileInIt, const std::string& path) {
  const int fd = OpenAt(folder, ".", O_RDONLY | O_DIRECTORY);
  if (fd < 0) {
    if (errno != EACCES) ThrowIoError(errno, path);
    if (RetryInterrupted([fileInIt] { return ::syncfs(fileInIt); }) != 0) {
      ThrowIoError(errno, path);
    }
    return;
  }
  FileDescriptor dir(fd);
  if (RetryInterrupted([fd] { return Sys().fsync(fd); }) != 0 && errno != EINVAL) {
    ThrowIoError(errno, path);
  }
}

int Lock(int fd, int operation) {
  return RetryInterrupted([=] { return Sys().flock(fd, operation); });
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
// lock no process holds. A folder we may not read or write keeps them.
void RemoveStaleTemporaryFiles(int folder, const std::string& name) {
  const int fd = OpenAt(folder, ".", O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), ::closedir);
  if (dir == nullptr) {
    ::close(fd);
    return;
  }
  const std::string prefix = TemporaryPrefix(name);
  while (const dirent* e = ::readdir(dir.get())) {
    const std::string_view entry = e->d_name;
    if (entry.size() != prefix.size() + 6 || entry.substr(0, prefix.size()) != prefix) continue;
    const int file = OpenAt(folder, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (file < 0) continue;
    const FileDescriptor held(file);
    struct stat st {};
    if (Sys().fstat(file, &st) == 0 && S_ISREG(st.st_mode) && Lock(file, LOCK_EX | LOCK_NB) == 0) {
      Sys().unlinkat(folder, e->d_name, 0);
    }
  }
}

// Said on standard error, in every mode: the operator of a scheduled run
// reads it in the log.
void Notice(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, text.c_str());
}

// Stop signals wait while a file is rewritten in place: they take effect once
// it is whole again.
class StopSignalsHeld {
 public:
  StopSignalsHeld() {
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, signal);
    ::sigprocmask(SIG_BLOCK, &stops, &before_);
  }
  ~StopSignalsHeld() { ::sigprocmask(SIG_SETMASK, &before_, nullptr); }
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

 private:
  sigset_t before_;
};

// Copies all of `from` (from its start) over `to` from its start, and cuts
// `to` to that length only then, so that no reader ever finds it shorter
// than the old or the new contents.
void CopyOver(int from, int to) {
  const auto rewind = [](int fd) {
    return RetryInterrupted([fd] { return ::lseek(fd, 0, SEEK_SET); });
  };
  if (rewind(from) != 0 || rewind(to) != 0) ThrowIoError(errno);
  std::vector<char> block(1 << 20);
  off_t size = 0;
  for (;;) {
    const size_t n = ReadFully(from, block.data(), block.size());
    if (n == 0) break;
    WriteFully(to, std::string_view(block.data(), n));
    size += static_cast<off_t>(n);
  }
  if (RetryInterrupted([&] { return Sys().ftruncate(to, size); }) != 0) ThrowIoError(errno);
}

// A file's POSIX access ACL, as the kernel keeps it in the extended
// attribute "system.posix_acl_access": a version word, then entries of a
// tag, permission bits and a user or group id (little-endian). Empty when
// the file has none, and then its mode bits alone decide.
struct AclEntry {
  enum Tag : uint16_t {
    kOwner = 1,
    kUser = 2,
    kOwningGroup = 4,
    kGroup = 8,
    kMask = 16,
    kOther = 32
  };
  uint16_t tag;
  uint16_t perm;
  uint32_t id;
};
using Acl = std::vector<AclEntry>;

Acl AclFromBytes(const unsigned char* bytes, ssize_t size) {
  Acl acl;
  if (size < 4 || (size - 4) % 8 != 0) return acl;
  const auto le16 = [&](ssize_t i) { return static_cast<uint16_t>(bytes[i] | bytes[i + 1] << 8); };
  const auto le32 = [&](ssize_t i) {
    return uint32_t{bytes[i]} | uint32_t{bytes[i + 1]} << 8 | uint32_t{bytes[i + 2]} << 16 |
           uint32_t{bytes[i + 3]} << 24;
  };
  for (ssize_t i = 4; i + 8 <= size; i += 8) acl.push_back({le16(i), le16(i + 2), le32(i + 4)});
  return acl;
}

constexpr char kAccessAcl[] = "system.posix_acl_access";

Acl AclOf(int fd) {
  unsigned char bytes[4096];
  return AclFromBytes(bytes, ::fgetxattr(fd, kAccessAcl, bytes, sizeof bytes));
}

Acl AclOf(const std::string& path) {
  unsigned char bytes[4096];
  return AclFromBytes(bytes, ::getxattr(path.c_str(), kAccessAcl, bytes, sizeof bytes));
}

// One user (with its groups), every member of one group, or anyone: whether
// they may access `st` for `bit` (4 read, 1 search), by the kernel's rule
// (the owner's bits, else the group's for a member, else the others'; with an
// ACL, its entries, the named ones and the groups' limited by its mask).
// Where the kernel's answer would depend on who exactly a member is, the
// answer is the lesser one.
struct Accessor {
  enum Kind { kUser, kGroupMembers, kAnyone } kind;
  uid_t uid;
  std::vector<gid_t> groups;  // the user's groups, or the one group

  bool May(const struct stat& st, mode_t bit, const Acl& acl = {}) const {
    if (!acl.empty()) return MayByAcl(st, bit, acl);
    const bool user = (st.st_mode & (bit << 6)) != 0;
    const bool group = (st.st_mode & (bit << 3)) != 0;
    const bool others = (st.st_mode & bit) != 0;
    const bool member = std::find(groups.begin(), groups.end(), st.st_gid) != groups.end();
    switch (kind) {
      case kUser:
        return st.st_uid == uid ? user : member ? group : others;
      case kGroupMembers:
        return member ? group : others;
      case kAnyone:  // the file's group members among them
        return group && others;
    }
    return false;
  }

 private:
  bool MayByAcl(const struct stat& st, mode_t bit, const Acl& acl) const {
    uint16_t mask = 7;
    for (const AclEntry& e : acl) {
      if (e.tag == AclEntry::kMask) mask = e.perm;
    }
    const auto grants = [&](const AclEntry& e) {
      const bool masked =
          e.tag == AclEntry::kUser || e.tag == AclEntry::kOwningGroup || e.tag == AclEntry::kGroup;
      return ((masked ? e.perm & mask : e.perm) & bit) != 0;
    };
    const auto groupOf = [&](const AclEntry& e) {
      return e.tag == AclEntry::kOwningGroup ? st.st_gid : static_cast<gid_t>(e.id);
    };
    const auto isGroupEntry = [](const AclEntry& e) {
      return e.tag == AclEntry::kOwningGroup || e.tag == AclEntry::kGroup;
    };
    bool other = false, allNamedUsers = true, allGroups = true;
    for (const AclEntry& e : acl) {
      if (e.tag == AclEntry::kOther) other = grants(e);
      if (e.tag == AclEntry::kUser) allNamedUsers = allNamedUsers && grants(e);
      if (isGroupEntry(e)) allGroups = allGroups && grants(e);
    }
    switch (kind) {
      case kUser: {
        if (st.st_uid == uid) {
          for (const AclEntry& e : acl) {
            if (e.tag == AclEntry::kOwner) return grants(e);
          }
          return false;
        }
        for (const AclEntry& e : acl) {
          if (e.tag == AclEntry::kUser && e.id == uid) return grants(e);
        }
        bool matched = false;
        for (const AclEntry& e : acl) {
          if (!isGroupEntry(e)) continue;
          if (std::find(groups.begin(), groups.end(), groupOf(e)) == groups.end()) continue;
          if (grants(e)) return true;
          matched = true;
        }
        return !matched && other;
      }
      case kGroupMembers: {
        // A member may be one of the named users; as a member it has its
        // group's entry, or the others' where the group has none.
        if (!allNamedUsers) return false;
        for (const AclEntry& e : acl) {
          if (isGroupEntry(e) && groupOf(e) == groups.front()) return grants(e);
        }
        // A member may be in a named group too, whose entry then decides.
        return other && allGroups;
      }
      case kAnyone:
        return other && allNamedUsers && allGroups;
    }
    return false;
  }
};

Accessor UserAccessor(uid_t uid) {
  Accessor who{Accessor::kUser, uid, {}};
  std::vector<char> text(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, text.data(), text.size(), &found) == 0 && found != nullptr) {
    int count = 64;
    who.groups.resize(static_cast<size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, who.groups.data(), &count) < 0) {
      who.groups.resize(static_cast<size_t>(count));
      ::getgrouplist(found->pw_name, found->pw_gid, who.groups.data(), &count);
    }
    who.groups.resize(static_cast<size_t>(count));
  }
  return who;
}

// Whether users other than the running one may belong to `group`. A group
// that has no entry is taken to have some; a user's private group has none.
bool OthersMayBeInGroup(gid_t group) {
  const uid_t me = ::geteuid();
  std::vector<char> text(65536);
  struct group entry {};
  struct group* found = nullptr;
  if (::getgrgid_r(group, &entry, text.data(), text.size(), &found) != 0 || found == nullptr) {
    return true;
  }
  for (char** name = found->gr_mem; *name != nullptr; ++name) {
    const struct passwd* user = ::getpwnam(*name);
    if (user == nullptr || user->pw_uid != me) return true;
  }
  bool others = false;
  ::setpwent();
  while (const struct passwd* user = ::getpwent()) {
    if (user->pw_gid == group && user->pw_uid != me) others = true;
  }
  ::endpwent();
  return others;
}

// The folders from the root down to the one that holds the open file.
bool FoldersSearchable(const Accessor& who, const std::string& realPath) {
  for (size_t slash = realPath.find('/'); slash != std::string::npos;
       slash = realPath.find('/', slash + 1)) {
    const std::string folder = slash == 0 ? "/" : realPath.substr(0, slash);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !who.May(st, 1, AclOf(folder))) return false;
  }
  return true;
}

std::string RealPathOf(int fd, const std::string& path) {
  std::string link(PATH_MAX, '\0');
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(self.c_str(), link.data(), link.size());
  if (n > 0 && static_cast<size_t>(n) < link.size() && link[0] == '/') {
    link.resize(static_cast<size_t>(n));
    return link;
  }
  char* resolved = ::realpath(path.c_str(), nullptr);  // no /proc
  if (resolved == nullptr) return {};
  std::string result = resolved;
  std::free(resolved);
  return result;
}

}  // namespace

FileWriters WritersOf(const struct stat& status) {
  FileWriters writers;
  writers.known = true;
  writers.owner = status.st_uid;
  writers.group = status.st_gid;
  writers.groupMayWrite = (status.st_mode & S_IWGRP) != 0;
  writers.othersMayWrite = (status.st_mode & S_IWOTH) != 0;
  return writers;
}

FileWriters WritersOfReplacement(const std::string& target) {
  struct stat st {};
  FileWriters writers;
  if (RetryInterrupted([&] { return ::stat(target.c_str(), &st); }) == 0 && S_ISREG(st.st_mode)) {
    writers = WritersOf(st);
  } else {
    // A new file: 0666 less the umask, in the folder's group where the
    // folder hands its group down (set-group-ID), else in ours.
    const auto [folderPath, name] = SplitPath(target);
    struct stat folder {};
    const bool handsDown = ::stat(folderPath.c_str(), &folder) == 0 && (folder.st_mode & S_ISGID);
    st.st_mode = S_IFREG | (0666 & ~CurrentUmask());
    st.st_gid = handsDown ? folder.st_gid : ::getegid();
    writers = WritersOf(st);
  }
  writers.owner = ::geteuid();
  return writers;
}

void RequireReadableByWriters(const FileWriters& writers, int fd, const std::string& path) {
  if (!writers.known) return;
  std::vector<Accessor> others;
  if (writers.owner != ::geteuid() && writers.owner != 0) {
    others.push_back(UserAccessor(writers.owner));
  }
  if (writers.groupMayWrite && OthersMayBeInGroup(writers.group))
    others.push_back(Accessor{Accessor::kGroupMembers, 0, {writers.group}});
  if (writers.othersMayWrite) others.push_back(Accessor{Accessor::kAnyone, 0, {}});
  if (others.empty()) return;

  struct stat st {};
  if (RetryInterrupted([&] { return Sys().fstat(fd, &st); }) != 0) ThrowIoError(errno, path);
  const std::string real = RealPathOf(fd, path);
  for (const Accessor& who : others) {
    if (real.empty() || !who.May(st, 4, AclOf(fd)) || !FoldersSearchable(who, real)) {
      // The fixed text first, then whom the run would read it out for.
      const std::string whom = who.kind == Accessor::kUser ? "the user " + UserName(who.uid)
                               : who.kind == Accessor::kGroupMembers
                                   ? "the members of the group " + GroupName(who.groups.front())
                                   : std::string("every user");
      throw EFileProblem(InOutErrorMessage(io_code::kAccessDenied) + ": " + whom +
                             " may change the settings that name it, but may not read it",
                         path);
    }
  }
}

ReplacingFile::ReplacingFile(const std::string& target, const struct stat* mustNotBe)
    : target_(FindInFolder(target, true)) {
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
  // Whatever way this run writes, killed runs' leftovers go.
  RemoveStaleTemporaryFiles(folder, target_.name);
  // Read and write bits only: no set-id, sticky or execute bit of a planted
  // file carries over to a patient list. Given at the create already, so
  // that the other users may clean up after a run killed before the chmod.
  const mode_t mode = target_.exists ? (existing.st_mode & 0666) : (0666 & ~CurrentUmask());
  const int fd = OpenAt(folder, ".", O_TMPFILE | O_WRONLY, mode);
  if (fd >= 0) {
    fd_ = FileDescriptor(fd);
    unnamed_ = true;
    // Held from the moment it gets a name at the commit, so that no other
    // run takes it for stale.
    if (Lock(fd, LOCK_EX) != 0) ThrowIoError(errno, path);
  } else if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
    CreateNamed(mode);  // a file system without unnamed files (network shares)
  } else if ((errno == EACCES || errno == EPERM) && target_.exists) {
    // The folder takes no new file, but the file may be written: the new
    // contents are gathered first and copied over it at the commit. Not
    // through a second name, though: a hard link that a member made from it
    // to someone's own file would have us write that file.
    if (existing.st_nlink > 1) {
      throw EFileProblem(
          "The file has other names (hard links) that another user may have made, and the "
          "folder takes no new files from you: it is not rewritten. The administrator removes "
          "it or lets the clinic's group create files in the folder",
          path);
    }
    const int copy = ::memfd_create("vantrelix-new", MFD_CLOEXEC);
    if (copy < 0) ThrowIoError(errno, path);
    fd_ = FileDescriptor(copy);
    return;
  } else {
    ThrowIoError(errno, path);
  }
  inPlace_ = FileDescriptor();  // a new file is written after all

  if (RetryInterrupted([&] { return Sys().fchmod(fd_.Get(), mode); }) != 0) {
    ThrowIoError(errno, path);
  }
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

void ReplacingFile::CreateNamed(mode_t mode) {
  const int folder = target_.folder.Get();
  const std::string path = target_.folderPath + "/" + target_.name;
  for (int attempt = 0;; ++attempt) {
    const std::string name = TemporaryPrefix(target_.name) + RandomSuffix();
    const int fd = OpenAt(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode);
    if (fd < 0) {
      if (errno == EEXIST && attempt < 100) continue;
      ThrowIoError(errno, path);
    }
    FileDescriptor file(fd);
    FolderName entry(folder, name);
    // Locked while it is written, so that no other run takes it for stale;
    // one that did so between the create and the lock took our name away.
    // Every failure below leaves the name to `entry`, which removes it.
    const bool locked = Lock(fd, LOCK_EX) == 0;
    const int lockError = errno;
    struct stat byName {
    }, byFd{};
    if (RetryInterrupted([&] { return Sys().fstat(fd, &byFd); }) != 0) ThrowIoError(errno, path);
    if (RetryInterrupted(
            [&] { return ::fstatat(folder, name.c_str(), &byName, AT_SYMLINK_NOFOLLOW); }) != 0) {
      if (errno != ENOENT) ThrowIoError(errno, path);
      byName.st_ino = 0;
    }
    if (byName.st_ino != byFd.st_ino || byName.st_dev != byFd.st_dev) {
      entry.Release();  // not ours any more
      if (attempt < 100) continue;
      ThrowIoError(EEXIST, path);
    }
    if (!locked) ThrowIoError(lockError, path);
    fd_ = std::move(file);
    temporary_ = std::move(entry);
    return;
  }
}

ReplacingFile::~ReplacingFile() = default;  // an uncommitted name goes with temporary_

void ReplacingFile::CommitInPlace() {
  const std::string path = target_.folderPath + "/" + target_.name;
  Notice(path +
         ": the folder takes no new files, so the file is rewritten in place and its "
         "replacement is not atomic");
  const StopSignalsHeld held;
  const int out = inPlace_.Get();
  // The old contents, put back when the rewrite fails half-way (where we
  // may read the file).
  FileDescriptor previous;
  try {
    FileDescriptor old = OpenEntry(target_, O_RDONLY);
    previous = FileDescriptor(::memfd_create("vantrelix-old", MFD_CLOEXEC));
    if (previous.IsOpen()) CopyOver(old.Get(), previous.Get());
  } catch (const EFileProblem&) {
    previous = FileDescriptor();
  } catch (const std::bad_alloc&) {
    previous = FileDescriptor();
  }
  try {
    CopyOver(fd_.Get(), out);
    SyncFile(out, path);
  } catch (...) {
    if (previous.IsOpen()) {
      try {
        CopyOver(previous.Get(), out);
        SyncFile(out, path);
      } catch (const EFileProblem&) {
      } catch (const std::bad_alloc&) {
      }
    }
    throw;
  }
  // Synced and whole: a failing close must not report a failed pass.
  Sys().close(inPlace_.Release());
  fd_ = FileDescriptor();
}

void ReplacingFile::Commit() {
  const std::string path = target_.folderPath + "/" + target_.name;
  if (inPlace_.IsOpen()) {
    ConcerningFile(path, [this] { CommitInPlace(); });
    return;
  }
  const int folder = target_.folder.Get();
  SyncFile(fd_.Get(), path);
  if (unnamed_) {
    // The unnamed file gets a temporary name, then the target's: a link
    // cannot replace an existing name.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_.Get());
    for (int attempt = 0;; ++attempt) {
      const std::string name = TemporaryPrefix(target_.name) + RandomSuffix();
      // Without /proc (a bare chroot) the descriptor itself is linked,
      // which the kernel allows to privileged callers only.
      const auto link = [&](int from, const char* fromName, int flags) {
        return RetryInterrupted(
            [&] { return Sys().linkat(from, fromName, folder, name.c_str(), flags); });
      };
      if (link(AT_FDCWD, self.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
          (errno == ENOENT && link(fd_.Get(), "", AT_EMPTY_PATH) == 0)) {
        temporary_ = FolderName(folder, name);
        break;
      }
      if (errno != EEXIST || attempt == 100) ThrowIoError(errno, path);
    }
  }
  SyncFolder(folder, fd_.Get(), path);
  if (RetryInterrupted([&] {
        return Sys().renameat(folder, temporary_.Name().c_str(), folder, target_.name.c_str());
      }) != 0) {
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
