#pragma once
// Setting one value in an INI file's text, line by line, leaving the rest of it byte for byte.

#include <string>

namespace oakvane {

// text, an INI file's contents, with key set to value_text (the value as it stands in the
// file) in section: every line of the key there is replaced, else a line is added after the
// section's last entry, else the section is added at the end. Every other byte is kept.
std::string with_ini_value(const std::string& text, const std::string& section,
                           const std::string& key, const std::string& value_text);

// value as the profile's INI reader (QSettings) reads it back unchanged: quoted and escaped
// where a comma, a semicolon, a quote, a backslash, a control character or blanks at either
// end would otherwise change it.
std::string ini_value_text(const std::string& value);

}  // namespace oakvane
