#pragma once

#include "run.h"

namespace oakvane {

// Fills the primary tree from the run's backup list: checks that the list holds exactly
// the images counted on the card, sorts it, and hands every run of files that share a
// backup folder to the matching folder under the primary folder. Keeps the last primary
// folder filled.
Status copy_to_primary(Run& run);

// The primary folder that mirrors the folder of the backup copy at backup.
std::string primary_folder_of(const Run& run, const std::string& backup);

}  // namespace oakvane
