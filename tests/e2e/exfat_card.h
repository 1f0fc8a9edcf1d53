#pragma once
// A camera card on a real exFAT image, read through exfat-fuse, whose photos carry capture
// dates and whose directory entries do or do not carry the camera's zone.

#include "mounts.h"

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace oakvane::e2e {

struct ExfatShot {
    const char* name;         // in DCIM/100CAMRA
    const char* taken;        // DateTimeOriginal, the camera's clock ("YYYY:MM:DD HH:MM:SS")
    const char* exif_offset;  // OffsetTimeOriginal, "" for none
    std::optional<int> entry_offset;  // the directory entry's UTC offset in minutes east
};

// "YYYY:MM:DD HH:MM:SS" counted as UTC.
std::time_t exif_utc(const char* text);

// Makes dir/card.img holding the shots (each with the file time of its capture date as the
// camera's clock), and mounts it on dir/card through exfat-fuse with the environment entry
// mount_zone ("TZ=..."), the zone exfat-fuse reads entries without one in. nullptr, with the
// reason in skipped, where exfat-fuse can't mount here; a failure later fails the test.
std::unique_ptr<test::Mount> exfat_fuse_card(const std::string& dir, const std::vector<ExfatShot>& shots,
                                             const std::string& mount_zone, std::string& skipped);

}  // namespace oakvane::e2e
