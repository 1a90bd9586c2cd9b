#include "accounts.h"

#include <grp.h>
#include <pwd.h>

#include <vector>

namespace vantrelix {

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

}  // namespace vantrelix
