#include "eject_target.h"

#include "eject.h"
#include "eject_mountinfo.h"

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace oakvane {

namespace {

// The block device under a mount. Some file systems (btrfs) show a number of their own in the
// table; their source then names the device.
dev_t block_number(const MountEntry& mount)
{
    struct stat source{};
    if (major(mount.device) == 0 && mount.source.starts_with("/dev/") &&
        stat(mount.source.c_str(), &source) == 0 && S_ISBLK(source.st_mode))
        return source.st_rdev;
    return mount.device;
}

// The system's own folder that lives on disk, if any. Such a disk is never a card to eject,
// whatever its bus: a Raspberry Pi boots from an SD card, many laptops from eMMC.
std::optional<std::string> system_folder_on(dev_t disk, const std::vector<MountEntry>& mounts)
{
    for (const char* folder : {"/", "/boot", "/home"}) {
        const auto mount = find_mount(mounts, folder);
        if (!mount)
            continue;
        const auto device = read_block_device(block_number(*mount));
        if (device && device->disk == disk)
            return folder;
    }
    return std::nullopt;
}

}  // namespace

std::optional<EjectTarget> find_eject_target(const std::string& mount_point, std::string& why)
{
    const std::vector<MountEntry> mounts = read_mountinfo();
    const auto mount = find_mount(mounts, mount_point);
    if (!mount) {
        why = "Cannot eject " + mount_point + ": not a mount point.";
        return std::nullopt;
    }
    const auto device = read_block_device(block_number(*mount));
    if (!device || !may_eject(*device)) {
        why = "Cannot eject " + mount->mount_point + ": " + mount->fs_type + " on " +
              (device ? device->node : std::string("no block device")) +
              " is not removable media.";
        return std::nullopt;
    }
    if (const auto system = system_folder_on(device->disk, mounts)) {
        why = "Cannot eject " + mount->mount_point + ": " + device->disk_node + " holds " +
              *system + ".";
        return std::nullopt;
    }
    return EjectTarget{mount->mount_point, *device};
}

bool folder_on_card(const std::string& folder)
{
    std::error_code ec;
    const std::string real = std::filesystem::canonical(folder, ec).string();
    struct stat st{};
    if (ec || ::stat(real.c_str(), &st) != 0)
        return false;
    // The mount holding the folder: the deepest mount point above it on its device.
    const std::vector<MountEntry> mounts = read_mountinfo();
    const MountEntry* holder = nullptr;
    for (const MountEntry& mount : mounts) {
        const bool above = real == mount.mount_point || mount.mount_point == "/" ||
                           real.starts_with(mount.mount_point + "/");
        if (above && mount.device == st.st_dev &&
            (!holder || mount.mount_point.size() >= holder->mount_point.size()))
            holder = &mount;
    }
    std::string why;
    return holder && find_eject_target(holder->mount_point, why).has_value();
}

bool disk_still_mounted(const EjectTarget& target)
{
    for (const MountEntry& mount : read_mountinfo()) {
        const dev_t number = block_number(mount);
        if (major(number) == 0)
            continue;
        const auto device = read_block_device(number);
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
