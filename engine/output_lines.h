#pragma once
// How a text handed to output_text becomes lines of the output list. Every host uses this,
// so the report looks the same in the window, on a terminal and in the tests.

#include <string>
#include <string_view>
#include <vector>

namespace oakvane {

// "" gives one empty line; "\r" is dropped; each "\n" ends a non-empty line, and a "\n"
// that is not the last character also adds one empty line; text after the last "\n" is
// a line of its own. So "\n" alone gives no line and "a\nb" gives "a", "", "b".
std::vector<std::string> output_lines(std::string_view text);

}  // namespace oakvane
