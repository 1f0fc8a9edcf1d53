#pragma once
// Whether a report can go where --report says, asked before the run copies anything.

#include <string>

namespace oakvane {

// Why a report could not be written to path (its folder missing or not writable, path a
// folder or a file that can't be replaced); "" when nothing stands in the way.
std::string report_destination_problem(const std::string& path);

}  // namespace oakvane
