#pragma once
// What a walk found at a path, told from the entry's own status (never a link's target).

#include <sys/stat.h>

namespace oakvane::posix {

// file: a regular file; link: a symbolic link (never followed); other: a FIFO, socket or
// device, which a caller must refuse rather than read.
enum class EntryType { file, directory, link, other };

inline EntryType entry_type_of(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryType::file;
    if (S_ISDIR(mode))
        return EntryType::directory;
    return S_ISLNK(mode) ? EntryType::link : EntryType::other;
}

}  // namespace oakvane::posix
