#pragma once
// XMP sidecars: a byte copy of the run's metadata template next to an image.

#include "run.h"
#include "staged_file.h"

#include <string>

namespace oakvane {

// Writes the template under a staging name into sidecar, for the image to be published as
// image_path; sidecar stays inactive when no sidecar is wanted.
Status stage_sidecar(Run& run, const std::string& image_path, StagedFile& sidecar);

// Publishes a flushed sidecar next to the image published as image_path; a sidecar already
// there (maybe edited by the user) is kept and the staged one removed. listed adds it to
// the run's sidecar list.
Status publish_sidecar(Run& run, StagedFile& sidecar, const std::string& image_path, bool listed);

}  // namespace oakvane
