#pragma once
// Each tree keeps an ASC MHL history of what runs placed in it: after a run, one generation
// per tree lists the copies the run published there with their hashes, so that anyone can
// check the library against it later with the standard's own tools.

#include "run.h"

namespace oakvane {

// Adds a generation to the backup and the primary tree's histories for the copies this run
// published in each (none for a tree that got none). A copy of an image that failed is never
// listed. Sidecars are not listed: they are the metadata template's copies, not the card's.
Status write_histories(Run& run);

}  // namespace oakvane
