#pragma once
// A depth-first, pre-order walk of a folder tree, over the C library's nftw.
//
// The difference from plain nftw: any entry that can't be examined or listed ends the walk
// with -1 (instead of being reported with its own type), so callers see one failure
// contract; and the visitor may be any callable, not only a plain function.

#include <functional>
#include <string_view>
#include <sys/stat.h>

namespace oakvane::posix {

enum class EntryType { file, directory };

struct WalkEntry {
    const char* path;        // the path as walked: the start path, "/", the names below it
    const struct stat& st;   // for a symbolic link, the status of what it points to
    EntryType type;          // anything that is not a directory is a file
    int base;                // offset of the entry's own name within path
    int level;               // 0 for the start path, 1 for its entries, ...

    std::string_view name() const { return path + base; }
};

// Returns nonzero from the visitor to end the walk with that value.
using WalkVisitor = std::function<int(const WalkEntry&)>;

// Walks root and everything below it, directories before their contents, in the order the
// file system lists them. Returns 0 when everything was visited, the visitor's first
// nonzero result, or -1 when the start path or an entry can't be examined or a folder
// can't be listed (errno tells why).
int walk_tree(const char* root, const WalkVisitor& visit);

}  // namespace oakvane::posix
