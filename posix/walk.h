#pragma once
// A depth-first, pre-order walk of a folder tree, over the C library's nftw.
//
// The differences from plain nftw: a start path that is a symbolic link is walked as the
// folder it points to, and a start path that is not a folder fails; below it links are
// never followed but reported as links, and anything that is neither a regular file nor a
// folder is reported as such, so a caller can refuse what it must not read. Any entry that
// can't be examined or listed ends the walk with -1, so callers see one failure contract;
// and the visitor may be any callable, not only a plain function.

#include "entry_type.h"

#include <functional>
#include <string_view>
#include <sys/stat.h>

namespace oakvane::posix {

struct WalkEntry {
    const char* path;        // the start path (resolved when a link), "/", the names below it
    const struct stat& st;   // the entry's own status (a link's, not its target's)
    EntryType type;
    int base;                // offset of the entry's own name within path
    int level;               // 0 for the start path, 1 for its entries, ...

    std::string_view name() const { return path + base; }
};

// Returns nonzero from the visitor to end the walk with that value.
using WalkVisitor = std::function<int(const WalkEntry&)>;

// Walks root and everything below it, directories before their contents, in the order the
// file system lists them. Returns 0 when everything was visited, the visitor's first
// nonzero result, or -1 when the start path is not a folder (ENOTDIR), it or an entry
// can't be examined, or a folder can't be listed (errno tells why).
int walk_tree(const char* root, const WalkVisitor& visit);

}  // namespace oakvane::posix
