#pragma once
// oakvane-ingest --plan: the plan of a run as text on standard output.

#include "plan.h"

#include <cstdio>

namespace oakvane {

// Prints every card file with its backup and primary paths and sidecars, the skipped files,
// the folders to create, the room each file system must have and, last, the verdict line.
void print_plan(const RunPlan& plan, std::FILE* out);

}  // namespace oakvane
