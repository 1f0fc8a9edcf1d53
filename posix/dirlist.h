#pragma once

#include <string>
#include <vector>

namespace oakvane::posix {

// The names of the entries directly inside folder (files and folders, never "." or ".."),
// in the order the file system lists them. Only a folder that does not exist is taken as
// empty; any other folder that can't be opened or read to its end sets ok, when given, to
// false, with errno saying why (the names read before a read error are still returned).
std::vector<std::string> list_directory(const std::string& folder, bool* ok = nullptr);

}  // namespace oakvane::posix
