#pragma once
// The folder of each image under the backup root: date folders, the user-named folder and
// number-range folders, as the run's arrangement switches ask.

#include "run_state.h"

#include <ctime>
#include <optional>
#include <string>

namespace oakvane {

// The placeholder a number-range folder carries until all its images are known.
inline constexpr std::string_view kRangePlaceholder = "0000-0000";

// The folder for an image modified at mtime (a card file time, see card_time.h) with the
// given number text.
// Creates every folder on the way (existing ones are fine) and registers the image's
// number with its range folder. nullopt after a recorded error.
std::optional<std::string> make_image_folder_path(std::time_t mtime, const std::string& number_text);

// The run's number-range folders.
void store_range_reset();
RangeRecord* store_range_find(const std::string& path);
void store_range_add(const std::string& path, const std::string& number_text);
// Renames every range folder after its lowest and highest number (never replacing anything
// already there) and rewrites the backup list to match. 0 after a recorded error.
int store_range_rename();

// What store_range_rename would do now, without renaming: works out each range folder's
// final name as it would (a taken name is stepped over) and rewrites the backup list to
// match. 0 after a recorded error.
int plan_range_rename();

// The final name of a range folder whose placeholder path is path.
std::string range_folder_name(const RangeRecord& record);

}  // namespace oakvane
