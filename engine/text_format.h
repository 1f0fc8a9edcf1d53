#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace oakvane {

// printf-style formatting into a string of exactly the needed length.
template <typename... Values>
std::string format(const char* pattern, Values... values)
{
    const int length = std::snprintf(nullptr, 0, pattern, values...);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), pattern, values...);
    text.pop_back();
    return text;
}

// A name as a line of the output list shows it: a control character (a newline would start
// a line of its own, which could pass for one of the report's) as \n, \r, \t or \xHH.
inline std::string shown(std::string_view name)
{
    std::string text;
    text.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            text += "\\n";
        else if (c == '\r')
            text += "\\r";
        else if (c == '\t')
            text += "\\t";
        else if (byte < 0x20 || byte == 0x7f)
            text += format("\\x%02X", unsigned(byte));
        else
            text += c;
    }
    return text;
}

}  // namespace oakvane
