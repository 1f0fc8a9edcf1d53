#pragma once
// One generation file of the MHL history: its name and its XML.

#include "mhl_history.h"

#include <optional>
#include <string>
#include <string_view>

namespace oakvane {

// What a check of the tree passes over: the history itself, the staging files of Oakvane's
// runs (and of a crashed one), and the Finder's own files.
inline constexpr std::string_view kMhlIgnored[] = {".DS_Store", "ascmhl", "ascmhl/",
                                                   ".oakvane-part-*"};

// "NNNN_<root_name>_<YYYY-MM-DD>_<HHMMSS>Z.mhl" (at least four digits), with root_name cut
// short where the whole would be too long for a file name; nullopt for a time beyond the
// years 1000 to 9999.
std::optional<std::string> generation_name(int number, std::string_view root_name,
                                           std::time_t created);

// The generation's XML, into text; a failure for a name, text or date XML can't hold, a
// path that isn't below the root, or a hash that is no xxh128.
Status generation_text(const MhlGeneration& generation, std::string& text);

}  // namespace oakvane
