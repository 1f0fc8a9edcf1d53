#pragma once
// Which card a mount point names, and whether it may be ejected.

#include "eject_outcome.h"
#include "eject_sysfs.h"

#include <functional>
#include <optional>
#include <string>

namespace oakvane {

struct EjectTarget {
    std::string mount_point;  // as the mount table writes it
    BlockDevice device;
};

// The card mounted at mount_point, or nullopt with the reason in why when it is not a mount
// point or not a card that may be ejected.
std::optional<EjectTarget> find_eject_target(const std::string& mount_point, std::string& why);

// True while any file system of the target's disk is still mounted somewhere, for example a
// second partition or the same card mounted at another place as well: ejecting the disk then
// would pull the media from under a live file system.
bool disk_still_mounted(const EjectTarget& target);

// Unmounts the target with unmount, retried while busy. None when the card may now be let go;
// otherwise the outcome to end with (busy, failed, or in use when its disk is still mounted).
std::optional<EjectOutcome> unmount_for_eject(const EjectTarget& target, const EjectRetry& retry,
                                              const std::function<Attempt()>& unmount);

}  // namespace oakvane
