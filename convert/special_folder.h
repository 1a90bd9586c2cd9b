#pragma once

#include <string>

namespace vantrelix {

// Environment variable that names the documents folder shared by all users.
// Linux has no such folder of its own; an administrator sets it machine-wide
// (for instance in /etc/environment) so that every user and the companion
// product share one data folder.
inline constexpr char kCommonDocumentsVariable[] = "VANTRELIX_COMMON_DOCUMENTS";

// Kinds of folder the program may ask for (the numbering the settings tools
// of this product share).
namespace folder_kind {
inline constexpr int kUserDocuments = 0;
inline constexpr int kUserAppData = 1;
inline constexpr int kUserLocalAppData = 2;
inline constexpr int kInternetCache = 3;
inline constexpr int kCommonAppData = 6;
inline constexpr int kUserPictures = 10;
inline constexpr int kCommonDocuments = 12;
}  // namespace folder_kind

// The path of a well-known folder, or empty text when there is none. The
// folder is neither created nor tested for existence.
//   0: the XDG documents folder (XDG_DOCUMENTS_DIR, else $HOME/Documents)
//  12: $VANTRELIX_COMMON_DOCUMENTS when set and not empty
//  1, 2, 3, 6, 10: the XDG config, data and cache homes, /usr/share, pictures
// Every other kind gives empty text.
std::string SpecialFolderPath(int kind);

}  // namespace vantrelix
