#pragma once
// What the kernel's device tree says about the block device behind a mount.

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

namespace oakvane {

struct BlockDevice {
    std::string node;       // "/dev/sdb1"
    std::string disk_node;  // "/dev/sdb": the device that is ejected or detached
    dev_t disk = 0;
    bool removable = false;  // the disk reports removable media
    bool usb_or_mmc = false; // the disk hangs off a USB or MMC/SD bus
    bool loop = false;       // the disk is a loop device holding a card image
};

// The block device numbered device, looked up below sys_root; nullopt when there is none
// (tmpfs, network file systems and other mounts without a block device).
std::optional<BlockDevice> read_block_device(dev_t device,
                                             const std::filesystem::path& sys_root = "/sys");

// Only media a photographer carries about may be ejected: never the system's own disks.
bool may_eject(const BlockDevice& device);

}  // namespace oakvane
