#pragma once
// exFAT card images read through exfat-fuse, with directory entries that do or do not carry
// the camera's offset from UTC, as cameras write them.

#include <optional>
#include <string>

namespace oakvane::test {

// Why this process can't mount an exFAT image through exfat-fuse below dir; "" when it can.
std::string exfat_fuse_refusal(const std::string& dir);

// Writes an empty exFAT image of 8 MiB. Returns the reason it failed, or empty.
std::string make_exfat_image(const std::string& image);

// Sets the UTC offset of the times of the file named name (unique in the image) to
// offset_minutes east of UTC, a whole number of quarter hours, or to none: the entry's times
// then read in whatever zone the reader assumes. Returns the reason it failed, or empty.
std::string set_exfat_utc_offset(const std::string& image, const std::string& name,
                                 std::optional<int> offset_minutes);

}  // namespace oakvane::test
