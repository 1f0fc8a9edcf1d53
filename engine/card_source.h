#pragma once
// What the engine reads a card through: list it, look at a file, read a file as chunks
// pushed into a sink. A card folder is one such source; a source only ever reads.

#include "entry_type.h"
#include "failure.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace oakvane {

class HostHooks;
class Run;

// One entry of the card: the card folder itself (level 0), its files and folders.
struct CardItem {
    std::string path;      // as messages and records name it
    std::string relative;  // below the card folder; "" for the card folder itself
    struct stat st {};     // its own status (a link's, never its target's)
    posix::EntryType type = posix::EntryType::other;
    int level = 0;

    std::string_view name() const
    {
        const std::size_t slash = path.rfind('/');
        return std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    }
};

// Where a card file's bytes go.
class ChunkSink {
public:
    virtual ~ChunkSink() = default;
    virtual Status write(const char* data, std::size_t size) = 0;
};

class CardSource {
public:
    using Visitor = std::function<Status(const CardItem&)>;
    virtual ~CardSource() = default;
    // Every entry, folders before their contents; the first failure (the visitor's or the
    // source's own) ends the listing.
    virtual Status list(const Visitor& visit) = 0;
    // Pushes the bytes of the card file item into sink, after making sure it is still the
    // very file listed. Stops between chunks when the run is asked to stop.
    virtual Status read(Run& run, const CardItem& item, ChunkSink& sink) = 0;
    // The file system the card is on, for how its file times are read. 0 or errno.
    virtual int file_system_type(unsigned long& type) = 0;
    // The card folder as given, for the mount it is on.
    virtual const std::string& folder() const = 0;
};

// Makes the source a run reads its card through, from the request's card folder text; the
// source may tell the run's host what it does to reach the card. A host that reads cards
// other than folders (a camera) gives one; the engine itself never links what those
// sources need.
using CardSourceFactory =
    std::function<std::unique_ptr<CardSource>(const std::string& card_folder, HostHooks& host)>;

}  // namespace oakvane
