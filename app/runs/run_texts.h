#pragma once
// The texts Start shows about a run's outcome.

#include <string>

namespace oakvane {

inline constexpr const char* kNoCardChosen = "No card chosen.";
inline constexpr const char* kIngestionStopped = "Ingestion stopped";
inline constexpr const char* kNoBackupFolder = "No backup folder";
inline constexpr const char* kStoppedByUser = "Stopped by user";
inline constexpr const char* kStoppedMessage =
    "Ingested images may be invalid!\n\nDo not delete images from card until they have been "
    "successfully ingested.";
inline constexpr const char* kErrorMessage =
    "Ingestion Error!\n\nDo not delete images from card until they have been successfully "
    "ingested.";

// "Ingestion time: <m> min. <s> sec.\n" for a run of elapsed whole seconds.
std::string ingestion_time_text(long elapsed);

// The output line before the viewer starts: "\nLaunching <viewer>", then " with folder
// <folder>" when it is handed one, then "\n".
std::string launching_text(const std::string& viewer, const std::string* folder);

}  // namespace oakvane
