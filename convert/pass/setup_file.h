#pragma once

#include <string>

#include "setup_record.h"

namespace vantrelix {

// Where the settings file and the import file live.
struct DataFolderPaths {
  std::string dataFolder;     // no closing "/"
  std::string setupFileName;  // dataFolder + "/VANTRELIX_SU.DAT"
  bool shared = false;        // in the documents folder of all users
};

// The shared data folder is missing: only the administrator makes it, with
// the group and mode that keep the clinic's users to themselves. Names the
// folder in the text itself, which the error box shows alone.
std::string SharedFolderMissingMessage(const std::string& dataFolder);

// The data folder from the two documents folders (either may be empty): the
// shared one when known, else the user's, followed by "/TOLV_7_Data".
DataFolderPaths DataFolderFrom(const std::string& commonDocuments,
                               const std::string& userDocuments);

inline const char kImportFileName[] = "TOLV_D.TXT";
inline const char kSampleSourceName[] = "Sample_VANTRELIX.CSV";

// Stores the whole record. The file is replaced only once the new record is
// on disk, so a full disk never leaves a truncated settings file behind.
void SaveSetup(const SetupRecord& record, const std::string& setupFileName);

// The default settings: the sample source in the data folder.
void FillDefaultSetup(SetupRecord& record, const DataFolderPaths& paths);

// When no settings file exists, fills the record with the defaults (the
// sample source in the data folder) and stores it, creating the data folder's
// last level first if needed. A missing shared data folder is never created:
// whoever made it would own it, and with it everyone's import.
void WriteDefaultSetupIfMissing(SetupRecord& record, const DataFolderPaths& paths);

// The private data folder's last level, made when it is missing; a missing
// shared folder raises SharedFolderMissingMessage.
void MakeDataFolderIfMissing(const DataFolderPaths& paths);

// Loads the first 152 bytes of the settings file into the record. A shorter
// file replaces only the bytes it has and raises "Read beyond end of file".
// The record learns who may have written the file (the source it names is
// read only if they may read it); root refuses settings that root does not
// own ("File access denied").
void LoadSetup(SetupRecord& record, const std::string& setupFileName);

}  // namespace vantrelix
