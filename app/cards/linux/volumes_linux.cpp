#include "linux/volumes_linux.h"

#include "linux/mount_table.h"
#include "linux/volume_label.h"

#include "camera_volumes.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <string_view>

namespace fs = std::filesystem;

namespace oakvane {

namespace {

bool holds_dcim(const std::string& mount_point)
{
    std::error_code ec;
    return fs::is_directory(fs::path(mount_point) / "DCIM", ec);
}


class MountInfoVolumeSource final : public VolumeSource {
public:
    MountInfoVolumeSource(std::string mountinfo_path, std::string by_label_dir)
        : m_mountinfo_path(std::move(mountinfo_path)), m_by_label_dir(std::move(by_label_dir))
    {
    }

    VolumeScan list_volumes() override
    {
        VolumeScan scan;
        std::vector<MountEntry> mounts;
        if (!read_visible_mounts(mounts, scan.error))
            return scan;
        for (const MountEntry& mount : mounts) {
            // Network volumes are left out before anything touches them: a dead server
            // would hang the stat.
            if (!mount.user_files)
                continue;
            Volume volume;
            volume.mount_point = mount.mount_point;
            volume.device = mount.source;
            volume.fs_type = mount.fs_type;
            volume.mount_id = mount.id;
            volume.has_dcim = holds_dcim(volume.mount_point);
            // Only a card is ever named, and finding a label may read the device's
            // superblock: the other volumes, the system disk among them, are left unread on
            // every change of the mount table.
            if (volume.has_dcim)
                volume.label = volume_label(volume.device, m_by_label_dir);
            scan.volumes.push_back(std::move(volume));
        }
        scan.ok = true;
        return scan;
    }

private:
    // Every mount in table order. A mount stacked over another at the same place hides it,
    // so only the last one there is kept, or a card mounted over something would count twice;
    // that holds for one that is not listed too, which still hides what is beneath it.
    bool read_visible_mounts(std::vector<MountEntry>& visible, std::string& error) const
    {
        std::vector<MountEntry> mounts;
        if (!read_mount_table(m_mountinfo_path, mounts, error))
            return false;
        std::map<std::string, std::size_t> index_of;
        for (MountEntry& mount : mounts) {
            auto [it, fresh] = index_of.try_emplace(mount.mount_point, visible.size());
            if (fresh)
                visible.push_back(std::move(mount));
            else
                visible[it->second] = std::move(mount);
        }
        return true;
    }

    std::string m_mountinfo_path;
    std::string m_by_label_dir;
};

}  // namespace

std::unique_ptr<VolumeSource> make_mountinfo_volume_source(std::string mountinfo_path,
                                                           std::string by_label_dir)
{
    return std::make_unique<MountInfoVolumeSource>(std::move(mountinfo_path),
                                                   std::move(by_label_dir));
}

std::unique_ptr<VolumeSource> make_system_volume_source(std::shared_ptr<CameraCache> cameras)
{
    return with_cameras(make_mountinfo_volume_source(kMountInfoPath, kByLabelDir), std::move(cameras));
}

std::unique_ptr<VolumeSource> make_system_volume_source()
{
    return make_system_volume_source(std::make_shared<CameraCache>(camera::detect_cameras));
}

}  // namespace oakvane
