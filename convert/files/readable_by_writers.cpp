#include "readable_by_writers.h"

#include <grp.h>
#include <pwd.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "accounts.h"
#include "inouterror.h"
#include "posix_file.h"
#include "system_calls.h"

namespace vantrelix {

namespace {

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
  const Acl acl = AclOf(fd);
  for (const Accessor& who : others) {
    if (real.empty() || !who.May(st, 4, acl) || !FoldersSearchable(who, real)) {
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

}  // namespace vantrelix
