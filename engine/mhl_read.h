#pragma once
// Reading an ASC MHL history back: the files each generation lists, with their sizes and
// hashes, as this tool and other ASC MHL tools write them.

#include "failure.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oakvane {

struct MhlHash {
    std::string type;    // the element's name: "xxh128", "xxh64", "md5", ...
    std::string value;   // as written, lower-cased
    std::string action;  // "original", "verified", "failed", ... ("" when not given)
};

struct MhlListed {
    std::string path;  // below the history's root, as written
    std::optional<std::uint64_t> size;
    std::vector<MhlHash> hashes;
    std::string card_path;  // the card file this tool copied it from; "" from other tools
};

struct MhlListing {
    std::string name;  // the generation's file name
    int number = 0;
    std::vector<MhlListed> files;
    std::vector<std::string> ignored;  // its ignore patterns
};

// The files one generation's text lists; a failure for a text that is no generation.
Status read_generation(std::string_view xml, MhlListing& listing);

// Every generation of the history at root (root/ascmhl), oldest first; none when the
// tree has no history. A failure when a generation can't be read.
Status read_history(const std::string& root, std::vector<MhlListing>& generations);

}  // namespace oakvane
