#include "linux/volumes_linux.h"

#include "linux/volume_label.h"

#include <libmount/libmount.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <string_view>

namespace fs = std::filesystem;

namespace oakvane {

namespace {

struct TableDeleter {
    void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};
struct IterDeleter {
    void operator()(libmnt_iter* iter) const { mnt_free_iter(iter); }
};

std::string text_or_empty(const char* text) { return text ? text : ""; }

// Network file systems that libmount does not count as such, or not in every version: each
// can hang any call that touches it while its server is away.
constexpr std::string_view kNetworkFileSystems[] = {
    "ceph",      "davfs",          "fuse.davfs2", "fuse.rclone", "fuse.s3fs",
    "glusterfs", "fuse.glusterfs", "fuse.sshfs",
};

bool is_network_fs(const std::string& fs_type)
{
    return mnt_fstype_is_netfs(fs_type.c_str()) ||
           std::find(std::begin(kNetworkFileSystems), std::end(kNetworkFileSystems), fs_type) !=
               std::end(kNetworkFileSystems);
}

// Memory file systems (tmpfs, ramfs) count as pseudo: /tmp is often one, and an archive of
// photos unpacked there must not pass for an inserted card and start an ingestion. A mount
// marked "_netdev" needs the network whatever its type (a disk reached over iSCSI, say), so
// it is left out as well.
bool holds_user_files(libmnt_fs* entry, const std::string& fs_type)
{
    if (fs_type.empty() || mnt_fs_match_options(entry, "_netdev") == 1)
        return false;
    return !mnt_fstype_is_pseudofs(fs_type.c_str()) && !is_network_fs(fs_type);
}

bool holds_dcim(const std::string& mount_point)
{
    std::error_code ec;
    return fs::is_directory(fs::path(mount_point) / "DCIM", ec);
}

struct MountEntry {
    Volume volume;
    bool user_files = false;  // may be listed: neither pseudo nor network
};

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
        if (!read_mounts(mounts, scan.error))
            return scan;
        for (MountEntry& mount : mounts) {
            // Network volumes are left out before anything touches them: a dead server
            // would hang the stat.
            if (!mount.user_files)
                continue;
            Volume& volume = mount.volume;
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
    bool read_mounts(std::vector<MountEntry>& mounts, std::string& error) const
    {
        std::unique_ptr<libmnt_table, TableDeleter> table(mnt_new_table());
        std::unique_ptr<libmnt_iter, IterDeleter> iter(mnt_new_iter(MNT_ITER_FORWARD));
        if (!table || !iter) {
            error = "out of memory reading the mount table";
            return false;
        }
        // Read as the mount table rather than as a plain file, so that the options mount(8)
        // keeps outside the kernel's table (among them "_netdev") are merged in.
        if (const int rc = mnt_table_parse_mtab(table.get(), m_mountinfo_path.c_str());
            rc != 0) {
            error = "cannot read " + m_mountinfo_path + ": " + std::strerror(rc < 0 ? -rc : rc);
            return false;
        }
        std::map<std::string, std::size_t> index_of;
        libmnt_fs* entry = nullptr;
        while (mnt_table_next_fs(table.get(), iter.get(), &entry) == 0) {
            MountEntry mount;
            Volume& volume = mount.volume;
            volume.mount_point = text_or_empty(mnt_fs_get_target(entry));
            volume.device = text_or_empty(mnt_fs_get_source(entry));
            volume.fs_type = text_or_empty(mnt_fs_get_fstype(entry));
            volume.mount_id = mnt_fs_get_id(entry);
            if (volume.mount_point.empty())
                continue;
            mount.user_files = holds_user_files(entry, volume.fs_type);
            auto [it, fresh] = index_of.try_emplace(volume.mount_point, mounts.size());
            if (fresh)
                mounts.push_back(std::move(mount));
            else
                mounts[it->second] = std::move(mount);
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

std::unique_ptr<VolumeSource> make_system_volume_source()
{
    return make_mountinfo_volume_source(kMountInfoPath, kByLabelDir);
}

}  // namespace oakvane
