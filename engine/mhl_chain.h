#pragma once
// The chain file of an MHL history (ascmhl/ascmhl_chain.xml): each generation's file name
// and C4 id. Entries already there are kept as they are read, never worked out again from
// the generation files, so that a generation changed since it was recorded still shows.

#include "failure.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace oakvane {

inline constexpr std::string_view kChainName = "ascmhl_chain.xml";

struct ChainEntry {
    int number = 0;    // the generation's sequence number
    std::string path;  // its file name in the ascmhl folder
    std::string c4;
};

// The entries of a chain file's text, whichever prefix its elements use; a failure for a
// text that is no chain, so that one this can't read is never overwritten.
Status read_chain(std::string_view xml, std::vector<ChainEntry>& entries);

// The chain file's text; nullopt when a name can't be written in XML.
std::optional<std::string> chain_text(const std::vector<ChainEntry>& entries);

// The sequence number at the start of a generation file's name ("0012_..._Z.mhl" is 12);
// nullopt for any other name.
std::optional<int> generation_number(std::string_view name);

}  // namespace oakvane
