#pragma once
// What the engine reads from a card: regular files only, and only the very file the walk
// saw. Anything else (a link, a FIFO, a socket, a device) fails the run by name, since a
// run that leaves a card file out must never end in success.

#include "fs_util.h"
#include "walk.h"

#include <string>
#include <sys/stat.h>

namespace oakvane {

// Whether a walked card entry is to be copied: 1 for a regular file whose name does not
// begin with "." (hidden entries are never read), 0 for a folder or a hidden entry, -1
// after a recorded error naming a link or a file that is not a regular file.
int classify_card_entry(const posix::WalkEntry& entry);

// Notes the card file at path when it is a sidecar (".xmp" in any case), so that the image
// it belongs to keeps it rather than getting one made from the template.
void note_card_sidecar(const std::string& path);

// Whether the card holds its own sidecar for the card file at path (same folder, same name
// before the extension).
bool has_card_sidecar(const std::string& path);

// Opens the card file at path for reading without following a link and without blocking,
// and checks that it is still the regular file seen (same device and inode). 0 after a
// recorded error.
int open_card_file(const std::string& path, const struct stat& seen, UniqueFd& fd);

}  // namespace oakvane
