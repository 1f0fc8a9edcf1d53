#pragma once
// What a file is, by its name: the rules every step of a run and a plan tell files apart by.

#include <string>

namespace oakvane {

// True when the text after the path's last "." is one of the raw extensions (any case):
// the raws of cameras since the first digital SLRs, camera DNGs among them.
bool is_raw_file(const std::string& path);

// A raw the DNG converter is given: every raw but a DNG, which already is one.
bool is_convertible_raw(const std::string& path);

// A ".TIF" (any case): cameras and scanners alike write them.
bool is_tif_path(const std::string& path);

// Whether the primary copy of path is decoded as a JPEG.
bool is_jpeg_path(const std::string& path);

// The DNG name the converter gives the raw at path ("IMG_0001.dng").
std::string dng_name_of(const std::string& path);

// Whether name is a DNG's (".dng" in any case).
bool is_dng_name(const std::string& name);

// The sidecar of image_path (its three-letter extension replaced by "xmp"), or "" when the
// image gets none (no three-letter extension, or an XMP file itself).
std::string sidecar_path_for(const std::string& image_path);

// Whether path names a sidecar (".xmp" in any case).
bool is_sidecar_path(const std::string& path);

// path without its extension; "" when its name has none.
std::string without_extension(const std::string& path);

}  // namespace oakvane
