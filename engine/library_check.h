#pragma once
// A library checked against its ASC MHL histories, long after the runs that wrote them: every
// file a history lists is read again from the disk and compared with the hash recorded for it,
// so that a photographer learns of bit rot, a bad restore or a tool that rewrote files while
// the card's other copies may still exist. Nothing in the library is written.

#include "engine.h"

#include <optional>
#include <string>
#include <vector>

namespace oakvane {

enum class CheckedState {
    intact,     // listed, and it reads as recorded
    changed,    // listed, but its size or hash differs (or it is no longer a plain file)
    missing,    // listed, and gone
    added,      // in a tree with a history, but no history lists it
    unchecked,  // listed with no hash this tool can work out (a C4 id only, say)
};

// How a state reads in the output and the report ("intact", "changed", ...).
const char* checked_state_text(CheckedState state);

struct CheckedFile {
    std::string path;  // below the folder checked
    CheckedState state = CheckedState::intact;
    std::string detail;      // what differs, "" when nothing does
    std::string hash_type;   // the hash compared ("xxh128", "md5", ...), "" when none was
    std::string history;     // the root of the history that lists it, below the folder checked
};

struct LibraryCheck {
    std::vector<CheckedFile> files;  // listed files in path order, then the new ones
    std::vector<std::string> histories;  // their roots, below the folder checked ("" for itself)
    int intact = 0;
    int changed = 0;
    int missing = 0;
    int added = 0;
    int unchecked = 0;
    std::optional<Failure> failure;  // why the check could not be finished (also "Stopped")
    // Nothing listed is changed or missing, and the check ran to its end.
    bool good() const { return !failure && changed == 0 && missing == 0; }
};

// Checks every file that the ASC MHL histories found at and below folder list, and looks
// for files in their trees that none lists. Each file's outcome goes to host.output_text as a
// line, then a summary line; progress and stop go through host as in a run.
LibraryCheck check_library(const std::string& folder, HostHooks& host);

}  // namespace oakvane
