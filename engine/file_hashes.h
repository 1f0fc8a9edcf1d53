#pragma once
// The hashes an ASC MHL history may hold for a file, worked out from the file as the disk
// holds it: the file's cached pages are let go first, so that a file that rotted on the disk
// is not vouched for by a copy in memory.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace oakvane {

// Whether hash_file can work out a hash of this type ("xxh128", "xxh64", "xxh3", "md5",
// "sha1"); the C4 id of a whole file is not among them.
bool can_hash(std::string_view type);

struct FileHash {
    int err = 0;           // errno of a failed open or read
    bool stopped = false;  // given up between chunks, at the caller's asking
    std::string hex;       // lower-case hex, as the history writes it
};

// The hash of the given type of the file at path (not followed if it is a link), read
// through buffer; give_up is asked between chunks.
FileHash hash_file(const std::string& path, std::string_view type, std::vector<char>& buffer,
                   const std::function<bool()>& give_up = {});

}  // namespace oakvane
