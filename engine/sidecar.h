#pragma once
// XMP sidecars: a byte copy of the run's metadata template next to an image.

#include "staged_file.h"

#include <string>

namespace oakvane {

// The sidecar of image_path (its three-letter extension replaced by "xmp"), or "" when the
// image gets none (no three-letter extension, or an XMP file itself).
std::string sidecar_path_for(const std::string& image_path);

// Writes the template under a staging name into sidecar, for the image to be published as
// image_path; sidecar stays inactive when no sidecar is wanted. 0 after a recorded error.
int stage_sidecar(const std::string& image_path, StagedFile& sidecar);

// Publishes a flushed sidecar next to the image published as image_path; a sidecar already
// there (maybe edited by the user) is kept and the staged one removed. listed adds it to the run's
// sidecar list. 0 after a recorded error.
int publish_sidecar(StagedFile& sidecar, const std::string& image_path, bool listed);

// Makes the sidecar of image_path from the run's template at once (staged, flushed,
// published). Returns 1 when a sidecar now exists or none is wanted; an existing sidecar
// is left untouched. 0 after a recorded error, leaving no sidecar behind.
int create_sidecar(const std::string& image_path, bool listed);

}  // namespace oakvane
