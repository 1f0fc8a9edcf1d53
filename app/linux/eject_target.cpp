#include "eject_target.h"

#include "eject_mountinfo.h"

#include <cstdio>
#include <sys/sysmacros.h>

namespace oakvane {

std::optional<EjectTarget> find_eject_target(const std::string& mount_point)
{
    const auto mount = find_mount(read_mountinfo(), mount_point);
    if (!mount) {
        std::fprintf(stderr, "Cannot eject %s: not a mount point.\n", mount_point.c_str());
        return std::nullopt;
    }
    const auto device = read_block_device(mount->device);
    if (!device || !may_eject(*device)) {
        std::fprintf(stderr, "Cannot eject %s: %s on %s is not removable media.\n",
                     mount->mount_point.c_str(), mount->fs_type.c_str(),
                     device ? device->node.c_str() : "no block device");
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
