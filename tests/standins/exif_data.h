#pragma once
// Photos that carry a capture date, as cameras record it: EXIF DateTimeOriginal and, from
// cameras that know their zone, OffsetTimeOriginal.

#include <string_view>
#include <vector>

namespace oakvane::cardgen {

// A little-endian TIFF whose Exif IFD holds DateTimeOriginal date_time ("YYYY:MM:DD
// HH:MM:SS") and, unless offset is empty, OffsetTimeOriginal offset ("+HH:MM"). It is what a
// JPEG's Exif segment holds, and stands in for a TIFF-based raw.
std::vector<unsigned char> exif_tiff(std::string_view date_time, std::string_view offset = {});

// jpeg with an Exif segment holding exif_tiff(date_time, offset) after its start marker.
std::vector<unsigned char> with_exif(const std::vector<unsigned char>& jpeg,
                                     std::string_view date_time, std::string_view offset = {});

}  // namespace oakvane::cardgen
