#include "special_folder.h"

#include <QStandardPaths>
#include <QString>

#include <cstdlib>

namespace vantrelix {

namespace {

std::string Writable(QStandardPaths::StandardLocation location) {
  return QStandardPaths::writableLocation(location).toLocal8Bit().toStdString();
}

}  // namespace

std::string SpecialFolderPath(int kind) {
  switch (kind) {
    case folder_kind::kUserDocuments:
      return Writable(QStandardPaths::DocumentsLocation);
    case folder_kind::kUserAppData:
      return Writable(QStandardPaths::GenericConfigLocation);
    case folder_kind::kUserLocalAppData:
      return Writable(QStandardPaths::GenericDataLocation);
    case folder_kind::kInternetCache:
      return Writable(QStandardPaths::GenericCacheLocation);
    case folder_kind::kCommonAppData:
      return "/usr/share";
    case folder_kind::kUserPictures:
      return Writable(QStandardPaths::PicturesLocation);
    case folder_kind::kCommonDocuments: {
      const char* value = std::getenv(kCommonDocumentsVariable);
      return value != nullptr ? std::string(value) : std::string();
    }
    default:
      return {};
  }
}

}  // namespace vantrelix
