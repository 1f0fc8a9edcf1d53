#pragma once
// One ingestion, step by step: the checks before anything is written, the count, the
// backup pass, the range names, the primary pass and the report. A run and a plan go
// through the same steps; only their writers differ.

#include "free_space.h"
#include "run.h"

#include <vector>

namespace oakvane {

// Everything before the first write: the request's checks, the count of the card's files
// (kept in the run) and the card's clock; applies the four-digit rule to the automatic number.
Status prepare_run(Run& run);

// The run after prepare_run: the free-space check (a run refuses there; a plan, whose
// writer writes nothing, goes on to show what it would do and refuses at the end), both
// passes and, for a run, the flush and the report. needs receives the space needs.
Status drive_run(Run& run, std::vector<SpaceNeed>& needs);

}  // namespace oakvane
