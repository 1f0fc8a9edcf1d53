#pragma once
// The steps of the "copy" command before it writes, shared by the run and the plan.

namespace oakvane {

// Checks the argument vector, takes the run's settings from it, checks the folders and the
// starting number and counts the card files (keeping them in the run state), applying the
// four-digit rule to the automatic number. 0 after a failure that has been shown.
int prepare_copy(int argc, const char* const argv[]);

// Shows the run's failure: "ERROR:", then the converter's message and the last error.
void show_failure();

}  // namespace oakvane
