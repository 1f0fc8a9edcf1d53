#pragma once
// The kernel's table of mounts, as far as ejecting a card needs it.

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace oakvane {

struct MountEntry {
    std::string mount_point;
    dev_t device = 0;  // 0:N for file systems without a block device (tmpfs, network)
    std::string fs_type;
    std::string source;  // "/dev/sdb1", or what the file system names instead
};

// Entries of /proc/self/mountinfo text in table order; malformed lines are left out.
std::vector<MountEntry> parse_mountinfo(const std::string& text);

// The current mounts of this process's mount namespace; empty when the table can't be read.
std::vector<MountEntry> read_mountinfo();

// "/media/card/" and "/media//card" both name "/media/card", as the table writes it.
std::string normal_mount_point(const std::string& path);

// The mount that is visible at mount_point: of mounts stacked on one point, the last one.
std::optional<MountEntry> find_mount(const std::vector<MountEntry>& mounts,
                                     const std::string& mount_point);

}  // namespace oakvane
