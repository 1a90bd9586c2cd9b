#pragma once

#include <sys/types.h>

#include <string>

namespace vantrelix {

// Account names for messages: the user's or group's name, or its number
// where the system knows none.
std::string UserName(uid_t uid);
std::string GroupName(gid_t gid);

}  // namespace vantrelix
