#pragma once
// How the MHL history's files reach the disk: staged in the ascmhl folder under a hidden
// name, flushed, then given their name, and the folder flushed, so that a crash leaves no
// half-written generation or chain under its final name.

#include "failure.h"
#include "tree_writer.h"

#include <string>
#include <string_view>

namespace oakvane {

// A new generation file at path with bytes; fails, leaving it as it is, when something
// already has that name.
Status publish_generation(DiskWriter& writer, const std::string& path, std::string_view bytes);

// The chain file at path with bytes, replacing the one there.
Status replace_chain(DiskWriter& writer, const std::string& path, std::string_view bytes);

}  // namespace oakvane
