#pragma once
// The Linux volume list, with its inputs open to tests.

#include "volumes.h"

#include <memory>
#include <string>

namespace oakvane {

inline constexpr const char* kByLabelDir = "/dev/disk/by-label";

// Volumes read from a mount table in the kernel's mountinfo format, with the options mount(8)
// keeps beside it. Pseudo and network file systems, and mounts marked "_netdev", are left out.
// Only volumes that hold DCIM get a label: from the by-label links in by_label_dir, else from
// the device's superblock.
std::unique_ptr<VolumeSource> make_mountinfo_volume_source(std::string mountinfo_path,
                                                           std::string by_label_dir);

}  // namespace oakvane
