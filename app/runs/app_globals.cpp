#include "app_globals.h"

namespace oakvane {

std::string g_detectedCardFolder;
std::string g_detectedCardName;
std::string g_userFolderName;
std::string g_previousBackupFolder;

}  // namespace oakvane
