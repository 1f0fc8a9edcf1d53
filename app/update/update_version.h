#pragma once
// The program version as the update check sends it to the web site.

#include <string>
#include <string_view>

namespace oakvane {

// Blanks removed and commas turned into dots, so "1, 0, 3, 0" becomes "1.0.3.0"; "?" when
// nothing is left.
std::string normalise_version(std::string_view raw);

// This build's version, normalised.
std::string program_version();

}  // namespace oakvane
