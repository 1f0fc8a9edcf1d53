#pragma once
// The folder of each image under the backup root: date folders, the user-named folder and
// number-range folders, as the run's arrangement asks.

#include "run.h"

#include <ctime>
#include <string>

namespace oakvane {

// The placeholder a number-range folder carries until all its images are known.
inline constexpr std::string_view kRangePlaceholder = "0000-0000";

// The folder for an image modified at mtime (a card file time, see card_time.h) with the
// given number text, into folder. Creates every folder on the way (existing ones are fine)
// and registers the image's number with its range folder.
Status make_image_folder_path(Run& run, std::time_t mtime, const std::string& number_text,
                              std::string& folder);

// Renames every range folder of the run after its lowest and highest number (never
// replacing anything already there; a taken name gets "a" to "z" appended) and rewrites the
// backup list to match.
Status rename_range_folders(Run& run);

}  // namespace oakvane
