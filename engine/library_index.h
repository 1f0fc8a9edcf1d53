#pragma once
// What the trees' histories say earlier runs placed there, as a run looks it up: which card
// files are already in the backup tree, and which images already in the primary tree.

#include <cstdint>
#include <map>
#include <set>
#include <string>

namespace oakvane {

// One copy an earlier run recorded in a tree's history.
struct RecordedCopy {
    std::string path;  // absolute
    std::uint64_t size = 0;
    std::string hash;       // xxh128
    std::string card_path;  // the card file it was made from
};

// A card file whose backup copy an earlier run left in the backup tree, intact.
struct FoundBackup {
    std::string card_path;
    std::string card_relative;  // below the card folder
    bool recorded = false;      // the backup tree's history lists it
};

struct LibraryIndex {
    // The backup tree's copies by the file name of the card file they came from.
    std::multimap<std::string, RecordedCopy> backups_by_card_name;
    // The primary tree's copies and DNGs by their path, and the card files they came from by
    // those files' names.
    std::map<std::string, RecordedCopy> primaries;
    std::multimap<std::string, std::string> primary_card_paths;
    // The card files whose backup copy this run found in place rather than made, by card
    // path (a range folder's rename leaves it as it is), and those copies' paths.
    std::map<std::string, FoundBackup> found_backups;
    std::set<std::string> taken_backups;
};

}  // namespace oakvane
