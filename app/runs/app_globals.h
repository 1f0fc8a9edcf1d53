#pragma once
// Texts the desktop side keeps for the life of the program. Card detection fills the first
// two, the user-named folder list the third, and Start the fourth.

#include <string>

namespace oakvane {

// When exactly one card is mounted: its card folder (root + "DCIM"); otherwise empty.
extern std::string g_detectedCardFolder;
// When exactly one card is mounted: its root, with " (label)" when it has one; otherwise empty.
extern std::string g_detectedCardName;
// The user-named folder of the next run; empty when that folder is not used.
extern std::string g_userFolderName;
// The backup folder last picked when the backup folder was missing; never stored.
extern std::string g_previousBackupFolder;

}  // namespace oakvane
