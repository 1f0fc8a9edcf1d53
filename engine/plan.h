#pragma once
// A plan: what a run would do now, worked out by the run's own steps through a writer that
// writes nothing (no folder, no staging file, no lock).

#include "engine.h"
#include "free_space.h"

#include <string>
#include <vector>

namespace oakvane {

class Run;

struct RunPlan {
    // Every card file, in card path order: copied ones with the paths they would get and
    // how they would be checked, hidden ones as skipped.
    std::vector<FileRecord> files;
    std::vector<std::string> new_folders;  // folders the run would create, sorted
    std::vector<SpaceNeed> space;          // one per destination file system
    std::optional<Failure> refusal;        // why the run would fail; unset when it would go ahead
    // The name format holds the time-of-day ID, which a run makes anew.
    bool names_vary = false;
    bool would_run() const { return !refusal; }
};

// Plans the run request describes. host hears only diagnostics and stop requests; what the
// run would tell the output list is left out, its failure kept in the plan's refusal.
RunPlan plan_ingestion(const RunRequest& request, HostHooks& host);

// Goes through the steps of a prepared run as a plan, silently, on the run's own card: a
// run calls it before its first write, so that what only a plan's writer foresees (a name
// too long for a tree's file system, a folder that can't be written) fails the run before
// anything is written rather than half-way. Other failures, and success, give good: the
// run meets those itself. A stop gives "Stopped".
Status rehearse_run(Run& run);

}  // namespace oakvane
