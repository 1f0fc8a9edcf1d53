#pragma once
// A plan: what a "copy" run would do now, worked out by the run's own checks, naming and
// arrangement code, writing nothing (no folder, no staging file, no lock).

#include "engine.h"
#include "free_space.h"

#include <string>
#include <vector>

namespace oakvane {

struct RunPlan {
    // Every card file in the order the run meets it: copied ones with the paths they would
    // get and how they would be checked, hidden ones as skipped.
    std::vector<FileRecord> files;
    std::vector<std::string> new_folders;  // folders the run would create, sorted
    std::vector<SpaceNeed> space;          // one per destination file system
    std::string refusal;                   // why the run would fail; "" when it would go ahead
    // The name format holds the time-of-day ID, which a run makes anew.
    bool names_vary = false;
};

// Plans the "copy" command of argv (the run's own 19 arguments). Returns 1 when the run would
// go ahead; 0 when it would refuse or fail, with the reason in plan.refusal (a refusal of the
// arguments has also been shown through host.output_text, as the run would show it).
int copycard_plan(int argc, const char* const argv[], HostHooks& host, RunPlan& plan);

}  // namespace oakvane
