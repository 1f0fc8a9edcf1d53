#pragma once

#include <cstdio>
#include <string>

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

}  // namespace oakvane
