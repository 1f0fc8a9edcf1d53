#pragma once

#include <string>
#include <vector>

namespace oakvane::posix {

// The names of the entries directly inside folder (files and folders, never "." or ".."),
// in the order the file system lists them. A folder that does not exist or can't be listed
// gives an empty listing: callers treat such a folder as empty. ok, when given, is set to
// false when a listing was cut short by a read error.
std::vector<std::string> list_directory(const std::string& folder, bool* ok = nullptr);

}  // namespace oakvane::posix
