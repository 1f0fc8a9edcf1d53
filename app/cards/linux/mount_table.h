#pragma once
// The kernel's table of mounts, read through libmount: the one reader behind card detection
// and eject, so that both see the same mounts under the same names.

#include <string>
#include <sys/types.h>
#include <vector>

namespace oakvane {

inline constexpr const char* kMountInfoPath = "/proc/self/mountinfo";

struct MountEntry {
    std::string mount_point;  // escapes undone ("\040" is a blank)
    dev_t device = 0;         // 0:N for file systems without a block device (tmpfs, network)
    std::string fs_type;
    std::string source;       // "/dev/sdb1", or what the file system names instead
    int id = 0;               // tells a remount at the same place from the mount before it
    // Neither a pseudo (memory, kernel) nor a network file system, nor marked "_netdev": a
    // volume that can hold the user's files and that can be touched without hanging.
    bool user_files = false;
};

// Every mount of the table at path (a mountinfo file) in table order, with the options
// mount(8) keeps outside the kernel's table merged in. False, with the reason in error, when
// the table cannot be read.
bool read_mount_table(const std::string& path, std::vector<MountEntry>& mounts,
                      std::string& error);

}  // namespace oakvane
