#include "name_codes.h"

namespace oakvane {

std::optional<NamePart> name_part(char code)
{
    switch (code) {
    case 'S': case '1': case '2': case '3': case '4': return NamePart::text;
    case 'D': return NamePart::date;
    case 'T': return NamePart::date_time;
    case 'd': return NamePart::short_date;
    case 't': return NamePart::short_date_time;
    case 'F': return NamePart::file_name;
    case 'N': return NamePart::camera_number;
    case 'A': return NamePart::automatic_number;
    case 'U': return NamePart::unique_id;
    case 'E': return NamePart::nothing;
    default: return std::nullopt;
    }
}

bool names_differ_by(NamePart part)
{
    switch (part) {
    case NamePart::automatic_number:
    case NamePart::file_name:
    case NamePart::camera_number:
    case NamePart::date_time:
    case NamePart::short_date_time:
    case NamePart::unique_id: return true;
    default: return false;
    }
}

bool uses_automatic_number(std::string_view format)
{
    for (char code : format)
        if (name_part(code) == NamePart::automatic_number)
            return true;
    return false;
}

}  // namespace oakvane
