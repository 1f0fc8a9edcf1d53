#pragma once
// Files that appear whole or not at all: the bytes go to a temporary file beside the file's
// name, flushed to disk, and only then take the name; the folder is flushed last, so that the
// name survives a crash as well as the bytes.

#include <functional>
#include <string>
#include <string_view>

namespace oakvane {

// Flushes the folder holding path. false with why when that fails; a file system that can't
// flush a folder (EINVAL) keeps no entries to lose, and counts as flushed.
bool sync_folder_of(const std::string& path, std::string& why);

// Writes bytes into folder as a new file under the first of name(0), name(1), ... that no entry
// of the folder has, and never replaces an entry: not one that was there, nor one that takes
// such a name meanwhile, nor what a link there points at. path receives the name given. false
// with why when the file could not be written, or when the folder could not be flushed (the
// file may then be there, but is not said to be). After a success, why is empty unless a
// temporary name could not be removed.
bool write_new_file(const std::string& folder, const std::function<std::string(int)>& name,
                    std::string_view bytes, std::string& path, std::string& why);

}  // namespace oakvane
