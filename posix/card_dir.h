#pragma once
// A card's folder, resolved once and held open, and everything on the card read relative to
// it. A run that counts, plans and copies through one CardDir reads one card, even when the
// path it was given is pointed elsewhere meanwhile; below the folder no link is ever
// followed, and a file is read only while it is still the very file the walk saw.

#include "entry_type.h"
#include "owned_fd.h"

#include <functional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace oakvane::posix {

struct CardDirEntry {
    std::string path;      // the held folder's resolved path, then "/" and relative unless ""
    std::string relative;  // "" for the held folder, else e.g. "DCIM/100TEST/IMG_0001.JPG"
    struct stat st;        // the entry's own status (a link's, not its target's)
    EntryType type;
    int level;             // 0 for the held folder, 1 for its entries, ...

    std::string_view name() const;  // the last component of path
};

// Why a walk ended with -1.
struct CardDirFailure {
    enum class Step {
        none,
        examine,  // the entry's status could not be read
        open,     // the folder could not be opened (a folder that became a link: ENOTDIR)
        list,     // the folder could not be listed
        changed,  // another folder took the place of the one examined
    };
    Step step = Step::none;
    std::string path;  // the entry's path, as in CardDirEntry
    int error = 0;     // errno; 0 for changed
};

// A card file opened for reading, or why not.
struct CardFile {
    enum class Status {
        opened,
        failed,   // error tells why
        changed,  // not the file seen any more: another file, a link or no regular file
    };
    Status status = Status::failed;
    int error = 0;  // errno when failed
    OwnedFd fd;     // open, blocking, when opened
};

class CardDir {
public:
    using Visitor = std::function<int(const CardDirEntry&)>;

    // Resolves folder once (the user may name a linked folder: a link is followed here and
    // never again) and holds the folder it names open. 0, or errno: ENOTDIR when it is not
    // a folder. A CardDir whose open failed holds nothing.
    int open(const std::string& folder);

    bool is_open() const { return static_cast<bool>(m_fd); }
    const std::string& path() const { return m_path; }  // resolved and absolute
    int fd() const { return m_fd.get(); }

    // Walks the held folder and everything below it, depth first, each folder before its
    // contents, the entries of a folder in the order the file system lists them. Links are
    // reported as links and never followed; FIFOs, sockets and devices as other. A visitor
    // ends the walk by returning nonzero (-1 would read as a failure: use another value).
    // Returns 0 when everything was visited, the visitor's value, or -1 with failure filled
    // in (failure is left as it was otherwise).
    int walk(const Visitor& visit, CardDirFailure& failure) const;

    // Opens the card file at relative (as in CardDirEntry) for reading, found below the held
    // folder with no link followed in any component, and checks it is still the regular file
    // seen (same device and inode).
    CardFile open_file(const std::string& relative, const struct stat& seen) const;

private:
    std::string m_path;
    OwnedFd m_fd;
};

}  // namespace oakvane::posix
