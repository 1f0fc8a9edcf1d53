#pragma once
// Files small enough to be read and written in one piece (the MHL history's files).

#include <string>
#include <string_view>

namespace oakvane {

// Writes all of bytes to fd, going on after short writes. 0 or errno (ENOSPC for a write
// that makes no progress).
int write_whole(int fd, std::string_view bytes);

// The whole content of the file at path, into out. 0 or errno.
int read_whole(const std::string& path, std::string& out);

}  // namespace oakvane
