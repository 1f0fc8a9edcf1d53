#pragma once
// The ASC MHL history of a backup or primary tree: after each run, one more generation file
// in the tree's ascmhl folder lists the files the run placed there with their xxh128 hashes,
// and the folder's chain file records every generation's C4 id, so that any later check
// can tell a changed file, or a changed generation, from the ones the run made.

#include "failure.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace oakvane {

// The folder at a tree's root that holds its history.
inline constexpr char kMhlFolder[] = "ascmhl";

struct MhlFile {
    std::string relative_path;  // below the tree's root, "/"-separated, no leading "/"
    std::uint64_t size = 0;
    std::time_t modified = 0;   // the copy's modification time
    std::string xxh128;         // 32 lower-case hex digits (xxh128_hex, Xxh128::hex)
    std::string card_path;      // the card file it was copied from
};

struct MhlGeneration {
    std::string root;            // the tree's root folder, absolute
    std::vector<MhlFile> files;  // the files this run placed in the tree
    std::string tool_version;    // Oakvane's version
    std::string host_name;
    std::time_t created = 0;     // when the run ran; also the hashes' date
};

// Adds one generation to the history at generation.root: a new file
// ascmhl/NNNN_<root folder name>_<YYYY-MM-DD>_<HHMMSS>Z.mhl, numbered one past the highest
// generation in the folder or its chain, then ascmhl/ascmhl_chain.xml rewritten with the
// new generation's C4 id (and those of generations a crash left out of it). Neither file is
// ever seen half-written, an existing generation is never replaced, and both are on stable
// storage when it returns. The caller holds the tree's run lock, so numbering can't race.
// Fails, before writing anything, for a name or date XML can't hold, a hash that is no
// xxh128, or a chain file it can't read (which it then leaves as it is).
Status add_mhl_generation(const MhlGeneration& generation);

}  // namespace oakvane
