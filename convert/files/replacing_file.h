#pragma once

#include <sys/stat.h>

#include <string>

#include "file_writers.h"
#include "posix_file.h"

namespace vantrelix {

// Who may have written `target` once a ReplacingFile has replaced it: the
// running user, and the group or anyone as the replaced file's mode lets
// them (the mode and group a new file gets where there is none).
FileWriters WritersOfReplacement(const std::string& target);

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
