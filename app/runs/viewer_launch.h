#pragma once
// Starting the viewer application after a run.

#include <string>
#include <vector>

namespace oakvane {

// Starts program with arguments as a process of its own, not waited for and not a child that
// has to be reaped; false when it could not be started.
bool start_detached(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace oakvane
