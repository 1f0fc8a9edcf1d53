#pragma once
// Two runs into the same trees at once would take each other's sequence numbers, range
// folders and staging files; a run therefore holds an exclusive lock on each tree's root
// folder itself (no lock file is ever left behind) for as long as it writes there.

#include "fs_util.h"

#include <string>

namespace oakvane {

// Takes the lock of the existing folder root into lock, without waiting. 0 after a
// recorded error, saying that another ingestion holds it.
int lock_tree(const std::string& root, UniqueFd& lock);

}  // namespace oakvane
