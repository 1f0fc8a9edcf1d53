#pragma once
// Whether the destination file systems have room for a card: checked before a run writes
// anything, since a tree that fills up half-way leaves a backup the photographer cannot trust
// and a card that must not be formatted.

#include "failure.h"

#include <cstdint>
#include <string>
#include <vector>

namespace oakvane {

class Run;

// The room one destination file system must have for the run, against what it has free.
struct SpaceNeed {
    std::string folders;          // the run's folders on it, as a message names them
    std::uint64_t needed = 0;     // bytes, every file rounded up to the file system's blocks
    std::uint64_t available = 0;  // bytes an unprivileged writer may still use
};

// The needs of the backup and the primary folder for the card files the count found, one
// entry per file system (both trees on one file system count together). A file system that
// cannot be examined is left out.
std::vector<SpaceNeed> space_needs(Run& run);

// The refusal text for a file system that lacks room.
std::string space_shortage_text(const SpaceNeed& need);

// Fails when a destination file system lacks the room the card needs.
Status check_free_space(const std::vector<SpaceNeed>& needs);

}  // namespace oakvane
