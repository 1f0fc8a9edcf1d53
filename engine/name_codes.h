#pragma once
// The image name rule: four positions, each given by a code letter that says what the
// position adds to the name. Read by the engine when it names files, and by the preference
// example and the run settings, so that all of them follow one rule.

#include <optional>
#include <string_view>

namespace oakvane {

enum class NamePart {
    text,             // S, 1-4: the position's own text
    date,             // D: YYYYMMDD
    date_time,        // T: YYYYMMDD_HHMMSS
    short_date,       // d: YYMMDD
    short_date_time,  // t: YYMMDD_HHMMSS
    file_name,        // F: the camera's file name without its extension
    camera_number,    // N: the camera's four-digit image number
    automatic_number, // A: the run's automatic number, four digits
    unique_id,        // U: an ID made of the time of day
    nothing,          // E: the position is empty
};

// The part code adds; nullopt for a letter the rule does not know.
std::optional<NamePart> name_part(char code);

// Whether part makes every name different by itself, so that no sequence number is needed.
bool names_differ_by(NamePart part);

// Whether the name format numbers images automatically (and so uses the starting number).
bool uses_automatic_number(std::string_view format);

}  // namespace oakvane
