#pragma once
// Text inside the MHL history's XML. File names on Linux are any bytes but '/' and NUL;
// XML holds only valid UTF-8 without most control characters, so a name outside that
// can't be written at all, and is refused rather than written as some other name.

#include <optional>
#include <string>
#include <string_view>

namespace oakvane {

// text with &, <, >, ", tab and line breaks as references, fit for element
// content and attribute values; nullopt when XML can't hold it.
std::optional<std::string> xml_escaped(std::string_view text);

// The text that element content or an attribute value in a file stands for; nullopt for a
// reference that isn't one.
std::optional<std::string> xml_unescaped(std::string_view text);

}  // namespace oakvane
