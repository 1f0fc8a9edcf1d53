#pragma once
// What the engine reads from a card: regular files only. Anything else (a link, a FIFO, a
// socket, a device) fails the run by name, since a run that leaves a card file out must
// never end in success.

#include "card_source.h"
#include "run.h"

#include <string>

namespace oakvane {

// Whether a card entry is to be copied: copy is set for a regular file whose name does not
// begin with "." (hidden entries are never read), cleared for a folder or a hidden entry.
// A link or a file that is not a regular file fails.
Status classify_card_entry(const CardItem& item, bool& copy);

// Notes the card file at path when it is a sidecar, so that the image it belongs to keeps
// it rather than getting one made from the template.
void note_card_sidecar(Run& run, const std::string& path);

// Whether the card holds its own sidecar for the card file at path (same folder, same name
// before the extension).
bool has_card_sidecar(const Run& run, const std::string& path);

}  // namespace oakvane
