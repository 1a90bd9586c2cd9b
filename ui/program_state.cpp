#include "program_state.h"

#include "byte_scan.h"

#include <QDate>

#include "special_folder.h"

namespace vantrelix {

std::string ApplicationTitleFrom(const std::string& programPath) {
  std::string name = FileNameOf(programPath);
  name = name.substr(0, name.find('.'));
  for (size_t i = 1; i < name.size(); ++i) name[i] = AsciiLower(name[i]);
  return name;
}

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

int CurrentLocalYear() {
  return QDate::currentDate().year();
}

DataFolderPaths LookUpDataFolder() {
  // The user's documents are looked up (and made) only when they are used.
  const std::string common = SpecialFolderPath(folder_kind::kCommonDocuments);
  return DataFolderFrom(common,
                        common.empty() ? SpecialFolderPath(folder_kind::kUserDocuments) : "");
}

}  // namespace vantrelix
