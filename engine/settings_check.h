#pragma once
// The checks of a run's settings that must pass before anything is written: the card is
// formatted after a successful run, so it may never receive a copy, and a tree that lies
// inside the card (or the card inside a tree) would be ingested again on every run.

namespace oakvane {

// Checks the run's folders: backup and primary absolute, neither inside the card folder
// and the card folder inside neither (compared after resolving links, "." and ".."). A card
// folder that does not exist is left for the card walk to report. 0 after a recorded error.
int check_folders();

// Sets the run's automatic number from its decimal text: leading blanks, an optional sign
// and the leading digits count, text without digits means 0. A negative number or one
// beyond the largest int is refused rather than wrapped. 0 after a recorded error.
int parse_starting_number(const char* text);

}  // namespace oakvane
