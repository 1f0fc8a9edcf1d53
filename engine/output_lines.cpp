#include "output_lines.h"

#include <utility>

namespace oakvane {

std::vector<std::string> output_lines(std::string_view text)
{
    std::vector<std::string> lines;
    if (text.empty()) {
        lines.emplace_back();
        return lines;
    }
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r')
            continue;
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty())
            lines.push_back(std::exchange(line, {}));
        if (i + 1 < text.size())
            lines.emplace_back();
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

}  // namespace oakvane
