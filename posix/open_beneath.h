#pragma once
// Opening a path below a folder held open, without following a link anywhere in it, so that
// a link put on a card can't lead a read off the card or to another file on it.

#include <string>

namespace oakvane::posix {

// openat asking not to update the access time, asked again without when that is refused
// (only the owner may ask): reading a card leaves its times alone where it may.
int openat_noatime(int dirfd, const char* path, int flags);

// Whether relative names something strictly below a folder: not empty, not absolute, no
// empty, "." or ".." component.
bool is_plain_relative(const std::string& relative);

// Opens relative below the folder open at dirfd with flags (O_NOATIME when allowed), with
// no symbolic link followed in any component. Returns the descriptor, or -1 with errno:
// ELOOP when a component is a link, EINVAL when relative is not plain.
int open_beneath(int dirfd, const std::string& relative, int flags);

// The same one component at a time, for kernels without openat2 (or where it is refused).
int open_beneath_by_components(int dirfd, const std::string& relative, int flags);

}  // namespace oakvane::posix
