#pragma once

#include <string>

namespace vantrelix {

// Environment variable that names the documents folder shared by all users.
// Linux has no such folder of its own; an administrator sets it machine-wide
// (for instance in /etc/environment) so that every user and the companion
// product share one data folder.
inline constexpr char kCommonDocumentsVariable[] = "VANTRELIX_COMMON_DOCUMENTS";

// Kinds of folder the program asks for (the numbering the settings tools of
// this product share).
namespace folder_kind {
inline constexpr int kUserDocuments = 0;
inline constexpr int kCommonDocuments = 12;
}  // namespace folder_kind

// The path of a well-known folder, or empty text when there is none.
//   0: the XDG documents folder (XDG_DOCUMENTS_DIR, else $HOME/Documents).
//      Created when missing, as the desktop's own user-dirs tool does at
//      login, so that a fresh account without a desktop login works: only
//      that one level, inside a folder (the home folder) that exists.
//  12: $VANTRELIX_COMMON_DOCUMENTS when set and not empty; never created,
//      since the administrator sets up the shared folder and its group.
// Every other kind gives empty text.
std::string SpecialFolderPath(int kind);

}  // namespace vantrelix
