#include "setup_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "inouterror.h"
#include "posix_file.h"
#include "readable_by_writers.h"
#include "replacing_file.h"
#include "setup_extension.h"
#include "system_calls.h"

namespace vantrelix {

DataFolderPaths DataFolderFrom(const std::string& commonDocuments,
                               const std::string& userDocuments) {
  DataFolderPaths paths;
  paths.dataFolder = (commonDocuments.empty() ? userDocuments : commonDocuments) + "/TOLV_7_Data";
  paths.setupFileName = paths.dataFolder + "/VANTRELIX_SU.DAT";
  paths.shared = !commonDocuments.empty();
  return paths;
}

std::string SharedFolderMissingMessage(const std::string& dataFolder) {
  return "The shared data folder " + dataFolder + " does not exist; the administrator creates it";
}

void SaveSetup(const SetupRecord& record, const std::string& setupFileName) {
  if (record.LongSourceFileName().size() > kMaxSourceNameLength) {
    // Stored, it would make the whole settings file unreadable.
    throw EFileProblem(
        "The source file name is longer than " + std::to_string(kMaxSourceNameLength) + " bytes",
        record.LongSourceFileName().substr(0, 100) + "...");
  }
  ConcerningFile(setupFileName, [&] {
    ReplacingFile file(setupFileName);
    const auto& image = record.Bytes();
    std::string bytes(reinterpret_cast<const char*>(image.data()), image.size());
    bytes += ExtensionBytes(record);
    WriteFully(file.Fd(), bytes);
    file.Commit();
  });
}

void FillDefaultSetup(SetupRecord& record, const DataFolderPaths& paths) {
  record.SetSourceFileName(paths.dataFolder + "/" + kSampleSourceName);
  const int32_t defaults[kFieldSlotCount] = {3, 5, 1, 2, 4, 0, 0};
  for (int i = 0; i < kFieldSlotCount; ++i)
    record.SetPosition(static_cast<FieldSlot>(i), defaults[i]);
  record.SetSkipFirstLine(1);
  record.SetDateLayout(0);
  record.SetDateDelimiter('/');
  record.SetTimeLayout(0);
  record.SetTimeDelimiter(':');
}

void MakeDataFolderIfMissing(const DataFolderPaths& paths) {
  if (FolderExists(paths.dataFolder)) return;
  if (paths.shared) throw EFileProblem(SharedFolderMissingMessage(paths.dataFolder), "");
  // Whether this works shows when a file is written in it.
  Sys().mkdir(paths.dataFolder.c_str(), 0777);
}

void WriteDefaultSetupIfMissing(SetupRecord& record, const DataFolderPaths& paths) {
  if (FileExists(paths.setupFileName)) return;
  MakeDataFolderIfMissing(paths);
  FillDefaultSetup(record, paths);
  SaveSetup(record, paths.setupFileName);
}

namespace {

// What follows the 152 bytes: the extension when it starts with its tag,
// otherwise nothing of ours (older files, or bytes some tool appended).
void ReadExtension(int fd, SetupRecord& record) {
  record.SetDelimiter(FieldDelimiter::kCommaOrTab);
  record.laterEntries.clear();
  record.ForgetLongSourceFileName();
  char header[kExtensionHeaderSize];
  const size_t got = ReadFully(fd, header, sizeof header);
  try {
    const size_t size = ExtensionEntriesSize(std::string_view(header, got));
    if (size == 0) return;
    std::string entries(size, '\0');
    if (ReadFully(fd, entries.data(), size) < size) {
      throw std::runtime_error(
          "The settings file's extension is damaged: it ends before its settings do");
    }
    ReadExtensionEntries(entries, record);
  } catch (const EFileProblem&) {
    throw;
  } catch (const std::runtime_error& e) {
    throw EFileProblem(e.what(), "");
  }
}

}  // namespace

void LoadSetup(SetupRecord& record, const std::string& setupFileName) {
  // Opened for reading and writing, as the companion tools do: a settings
  // file the user may not write is reported, not silently used.
  ConcerningFile(setupFileName, [&] {
    // Found as the settings are replaced: no link of another user is followed.
    FileDescriptor file = OpenEntry(FindInFolder(setupFileName), O_RDWR);
    struct stat status {};
    if (RetryInterrupted([&] { return Sys().fstat(file.Get(), &status); }) != 0) {
      ThrowIoError(errno);
    }
    // Root would read any file another user's settings name.
    if (::geteuid() == 0 && status.st_uid != 0) ThrowIoError(EACCES);
    // A second name: a member may have linked someone's private settings
    // here, which would have their run read that user's own source out into
    // the shared import file.
    if (status.st_nlink > 1) {
      throw EFileProblem(
          "The settings file has other names (hard links) that another user may have made, so "
          "it is not used; the administrator deletes it and stores the settings anew",
          "");
    }
    record.writers = WritersOf(status);
    SetupRecord::Image buffer{};
    const size_t got = ReadFully(file.Get(), buffer.data(), buffer.size());
    std::memcpy(record.Bytes().data(), buffer.data(), got);
    if (got < buffer.size()) throw EInOutError(io_code::kReadBeyondEnd);
    ReadExtension(file.Get(), record);
    file.Close();
  });
}

}  // namespace vantrelix
