#pragma once
// The application profile: an INI file of sections (the program uses only "App"). Each call
// opens the file afresh, so what another program (or a test) wrote in between is seen.

#include <optional>
#include <string>
#include <utility>

namespace oakvane {

// A stored number as the C library's atoi reads it; dflt when there is no value.
int number_or(const std::optional<std::string>& text, int dflt);


class Profile {
public:
    explicit Profile(std::string path) : m_path(std::move(path)) {}

    // The value as text, or none when the key is missing.
    std::optional<std::string> read(const std::string& section, const std::string& key) const;

    // The values an earlier version kept in the profile, read once at the first start. They were
    // written by hand or by a program that wrote each value as it stood, so they are read as
    // plain text (surrounding blanks and one pair of double quotes dropped), not through the
    // INI reader, which would split a value at commas and end it at a semicolon.
    std::optional<std::string> read_plain(const std::string& section, const std::string& key) const;

    // False when the file could not be written. Only the key's own line changes (or is added
    // at the end of the section): comments, other lines and their bytes stay as they are, so
    // that values an earlier version keeps there are still read as plain text. The file is
    // replaced whole by a renamed, flushed copy, so a crash leaves the old file or the new one.
    bool write_string(const std::string& section, const std::string& key,
                      const std::string& value) const;
    bool write_int(const std::string& section, const std::string& key, int value) const;

    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace oakvane
