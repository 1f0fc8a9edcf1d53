#pragma once
// New file names for images, from the four-position name format.

#include <ctime>
#include <string>
#include <string_view>

namespace oakvane {

class Run;

// The name of the card file card_name (its own name, no folder) in the backup and primary
// trees, built from the run's name format and texts, the file's modification time (as the
// camera showed it, see card_time.h) and the run's automatic number. Sets number_text to the
// image's four-character number ("0000" when the format gives none) and advances the
// automatic number.
std::string make_image_file_name(Run& run, std::string_view card_name, std::time_t mtime,
                                 std::string& number_text);

// The card file time t as "YYYYMMDD_HHMMSS", broken down as the run reads card times.
std::string date_time_text(const Run& run, std::time_t t);

// An ID made of the time of day: the seconds in upper-case hex, then the microseconds in
// upper-case hex with at least five digits.
std::string unique_id();

}  // namespace oakvane
