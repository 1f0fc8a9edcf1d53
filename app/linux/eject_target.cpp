#include "eject_target.h"

#include "eject_mountinfo.h"

#include <sys/sysmacros.h>

namespace oakvane {

std::optional<EjectTarget> find_eject_target(const std::string& mount_point, std::string& why)
{
    const auto mount = find_mount(read_mountinfo(), mount_point);
    if (!mount) {
        why = "Cannot eject " + mount_point + ": not a mount point.";
        return std::nullopt;
    }
    const auto device = read_block_device(mount->device);
    if (!device || !may_eject(*device)) {
        why = "Cannot eject " + mount->mount_point + ": " + mount->fs_type + " on " +
              (device ? device->node : std::string("no block device")) +
              " is not removable media.";
        return std::nullopt;
    }
    return EjectTarget{mount->mount_point, *device};
}

bool disk_still_mounted(const EjectTarget& target)
{
    for (const MountEntry& mount : read_mountinfo()) {
        if (major(mount.device) == 0)
            continue;
        const auto device = read_block_device(mount.device);
        if (device && device->disk == target.device.disk)
            return true;
    }
    return false;
}

std::optional<EjectOutcome> unmount_for_eject(const EjectTarget& target, const EjectRetry& retry,
                                              const std::function<Attempt()>& unmount)
{
    switch (retry_while_busy(retry, unmount)) {
    case Attempt::busy:
        return EjectOutcome::busy;
    case Attempt::failed:
        return EjectOutcome::failed;
    case Attempt::done:
        break;
    }
    if (disk_still_mounted(target))
        return EjectOutcome::in_use;
    return std::nullopt;
}

}  // namespace oakvane
