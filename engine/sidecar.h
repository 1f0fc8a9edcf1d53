#pragma once
// XMP sidecars: a byte copy of the run's metadata template next to an image.

#include <string>

namespace oakvane {

// The sidecar of image_path (its three-letter extension replaced by "xmp"), or "" when the
// image gets none (no three-letter extension, or an XMP file itself).
std::string sidecar_path_for(const std::string& image_path);

// Makes the sidecar of image_path from the run's template. Returns 1 when a sidecar now
// exists or none is wanted; an existing sidecar is left untouched. listed adds the sidecar
// to the run's sidecar list; created, when given, tells whether this call made the file.
// 0 after a recorded error; a sidecar left half-written is removed.
int create_sidecar(const std::string& image_path, bool listed, bool* created = nullptr);

}  // namespace oakvane
