#include "linux/volumes_linux.h"

#include "linux/volume_label.h"

#include <libmount/libmount.h>

#include <cstring>
#include <filesystem>
#include <map>

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

// libmount counts the memory file systems as pseudo, yet they hold ordinary files that a user
// (or a camera exposed through one) can put a DCIM folder in.
bool holds_user_files(const std::string& fs_type)
{
    if (fs_type == "tmpfs" || fs_type == "ramfs")
        return true;
    return !fs_type.empty() && !mnt_fstype_is_pseudofs(fs_type.c_str()) &&
           !mnt_fstype_is_netfs(fs_type.c_str());
}

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
        std::vector<Volume> mounts;
        if (!read_mounts(mounts, scan.error))
            return scan;
        for (Volume& volume : mounts) {
            // Network volumes are left out before anything touches them: a dead server
            // would hang the stat.
            if (!holds_user_files(volume.fs_type))
                continue;
            volume.has_dcim = holds_dcim(volume.mount_point);
            volume.label = volume_label(volume.device, m_by_label_dir);
            scan.volumes.push_back(std::move(volume));
        }
        scan.ok = true;
        return scan;
    }

private:
    // Every mount in table order. A mount stacked over another at the same place hides it,
    // so only the last one there is kept, or a card mounted over something would count twice.
    bool read_mounts(std::vector<Volume>& mounts, std::string& error) const
    {
        std::unique_ptr<libmnt_table, TableDeleter> table(mnt_new_table());
        std::unique_ptr<libmnt_iter, IterDeleter> iter(mnt_new_iter(MNT_ITER_FORWARD));
        if (!table || !iter) {
            error = "out of memory reading the mount table";
            return false;
        }
        if (const int rc = mnt_table_parse_file(table.get(), m_mountinfo_path.c_str()); rc != 0) {
            error = "cannot read " + m_mountinfo_path + ": " + std::strerror(rc < 0 ? -rc : rc);
            return false;
        }
        std::map<std::string, std::size_t> index_of;
        libmnt_fs* entry = nullptr;
        while (mnt_table_next_fs(table.get(), iter.get(), &entry) == 0) {
            Volume volume;
            volume.mount_point = text_or_empty(mnt_fs_get_target(entry));
            volume.device = text_or_empty(mnt_fs_get_source(entry));
            volume.fs_type = text_or_empty(mnt_fs_get_fstype(entry));
            volume.mount_id = mnt_fs_get_id(entry);
            if (volume.mount_point.empty())
                continue;
            auto [it, fresh] = index_of.try_emplace(volume.mount_point, mounts.size());
            if (fresh)
                mounts.push_back(std::move(volume));
            else
                mounts[it->second] = std::move(volume);
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
