#pragma once

#include <sys/types.h>

namespace vantrelix {

// Who may have written a file: its owner, and the members of its group or
// anyone when its mode lets them write it. A file read on the word of such a
// file (the source the settings name) must be one each of them may read, or
// the run would read it out for them.
struct FileWriters {
  bool known = false;  // false: nobody but the running user
  uid_t owner = 0;
  gid_t group = 0;
  bool groupMayWrite = false;
  bool othersMayWrite = false;
};

}  // namespace vantrelix
