#include "special_folder.h"

#include <sys/stat.h>

#include <QStandardPaths>
#include <QString>

#include <cstdlib>

namespace vantrelix {

namespace {

std::string UserDocuments() {
  const std::string path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                               .toLocal8Bit()
                               .toStdString();
  // A missing home folder stays missing: mkdir fails on the absent parent.
  if (!path.empty()) ::mkdir(path.c_str(), 0777);
  return path;
}

}  // namespace

std::string SpecialFolderPath(int kind) {
  switch (kind) {
    case folder_kind::kUserDocuments:
      return UserDocuments();
    case folder_kind::kCommonDocuments: {
      const char* value = std::getenv(kCommonDocumentsVariable);
      return value != nullptr ? std::string(value) : std::string();
    }
    default:
      return {};
  }
}

}  // namespace vantrelix
