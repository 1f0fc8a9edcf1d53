#pragma once
// oakvane-ingest --plan: the plan of a run as text on standard output.

#include "plan.h"

#include <cstdio>

namespace oakvane {

// The name of a file check as plans and reports write it ("JPEG decoded", ...).
const char* check_text(FileCheck check);

// Prints every card file with its backup and primary paths and sidecars, the skipped files,
// the folders to create, the room each file system must have and, last, the verdict line.
void print_plan(const RunPlan& plan, bool would_run, std::FILE* out);

}  // namespace oakvane
