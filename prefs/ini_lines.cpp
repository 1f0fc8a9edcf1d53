#include "ini_lines.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace oakvane {

namespace {

struct Line {
    std::string_view text;  // without its line end
    std::string_view end;   // "\n", "\r\n" or "" for a last line without one
};

std::vector<Line> split_lines(std::string_view text)
{
    std::vector<Line> lines;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        std::size_t end_length = newline == std::string_view::npos ? 0 : 1;
        if (end_length && line.ends_with('\r')) {
            line.remove_suffix(1);
            ++end_length;
        }
        lines.push_back({line, text.substr(line.size(), end_length)});
        text.remove_prefix(line.size() + end_length);
    }
    return lines;
}

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool is_header(std::string_view line)
{
    line = trimmed(line);
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

// The name of the section a header line opens.
std::string_view section_of(std::string_view header)
{
    header = trimmed(header);
    return trimmed(header.substr(1, header.size() - 2));
}

bool is_entry_of(std::string_view line, const std::string& key)
{
    line = trimmed(line);
    if (line.empty() || line.front() == ';' || line.front() == '#')
        return false;
    const std::size_t equals = line.find('=');
    return equals != std::string_view::npos && trimmed(line.substr(0, equals)) == key;
}

bool is_blank_or_comment(std::string_view line)
{
    line = trimmed(line);
    return line.empty() || line.front() == ';' || line.front() == '#';
}

// lines with entry added after the last entry of the section's first header (before the
// blank lines and comments that set off the next section), or with the section added at the
// end when there is none.
std::string with_new_entry(const std::vector<Line>& lines, const std::string& section,
                           const std::string& entry)
{
    std::size_t header = 0;
    while (header < lines.size() && !(is_header(lines[header].text) &&
                                      section_of(lines[header].text) == section))
        ++header;
    std::size_t insert_after = header;
    for (std::size_t i = header + 1; i < lines.size() && !is_header(lines[i].text); ++i)
        if (!is_blank_or_comment(lines[i].text))
            insert_after = i;
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += lines[i].text;
        out += lines[i].end;
        if (i == insert_after) {
            if (lines[i].end.empty())
                out += '\n';
            out += entry + "\n";
        }
    }
    if (header == lines.size()) {
        if (!out.empty() && out.back() != '\n')
            out += '\n';
        out += "[" + section + "]\n" + entry + "\n";
    }
    return out;
}

bool has_control(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

}  // namespace

std::string with_ini_value(const std::string& text, const std::string& section,
                           const std::string& key, const std::string& value_text)
{
    const std::vector<Line> lines = split_lines(text);
    const std::string entry = key + "=" + value_text;
    // Every line of the key in a section of that name is replaced: the reader takes one of
    // them, and each must give the new value.
    std::string out;
    bool in_section = false, replaced = false;
    for (const Line& line : lines) {
        if (is_header(line.text))
            in_section = section_of(line.text) == section;
        if (in_section && is_entry_of(line.text, key)) {
            out += entry;
            out += line.end.empty() ? std::string_view("\n") : line.end;
            replaced = true;
        } else {
            out += line.text;
            out += line.end;
        }
    }
    return replaced ? out : with_new_entry(lines, section, entry);
}

std::string ini_value_text(const std::string& value)
{
    // A leading "@" marks a typed value to the reader; it reads "@@" as one "@".
    const std::string plain = value.starts_with('@') ? "@" + value : value;
    const bool quote = plain.find_first_of(",;\"\\#") != std::string::npos ||
                       trimmed(plain).size() != plain.size() ||
                       has_control(plain);
    if (!quote)
        return plain;
    std::string text = "\"";
    for (const char c : plain) {
        switch (c) {
        case '"': text += "\\\""; break;
        case '\\': text += "\\\\"; break;
        case '\n': text += "\\n"; break;
        case '\r': text += "\\r"; break;
        case '\t': text += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                char octal[8];
                std::snprintf(octal, sizeof octal, "\\%03o", static_cast<unsigned char>(c));
                text += octal;
            } else {
                text += c;
            }
        }
    }
    return text + "\"";
}

}  // namespace oakvane
