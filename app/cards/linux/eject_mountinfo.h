#pragma once
// The kernel's table of mounts, as far as ejecting a card needs it.

#include "mount_table.h"

#include <optional>
#include <string>
#include <vector>

namespace oakvane {

// The mounts of the table at path (normally this process's mount namespace) in table order;
// empty, with the reason on standard error, when the table can't be read.
std::vector<MountEntry> read_mountinfo(const std::string& path = kMountInfoPath);

// "/media/card/" and "/media//card" both name "/media/card", as the table writes it.
std::string normal_mount_point(const std::string& path);

// The mount that is visible at mount_point: of mounts stacked on one point, the last one.
std::optional<MountEntry> find_mount(const std::vector<MountEntry>& mounts,
                                     const std::string& mount_point);

}  // namespace oakvane
