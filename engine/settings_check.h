#pragma once
// The checks of a run's settings that must pass before anything is written: the card is
// formatted after a successful run, so it may never receive a copy, and a tree that lies
// inside the card (or the card inside a tree) would be ingested again on every run.

#include "engine.h"

namespace oakvane {

class Run;

// Checks the request's folders: a user-named folder that is one folder name (no "/", not
// "." or ".."), backup and primary different and absolute, neither inside
// the card folder and the card folder inside neither (compared after resolving links, "."
// and ".."). A card folder that does not exist is left for the card listing to report.
Status check_folders(const RunRequest& request);

// A card is formatted once it has been ingested: when the host says the card folder lies on
// a card, neither tree may be on that card's own file system.
Status check_trees_off_card(Run& run);

}  // namespace oakvane
