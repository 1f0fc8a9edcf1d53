#include "mount_table.h"

#include <libmount/libmount.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>

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

}  // namespace

bool read_mount_table(const std::string& path, std::vector<MountEntry>& mounts,
                      std::string& error)
{
    std::unique_ptr<libmnt_table, TableDeleter> table(mnt_new_table());
    std::unique_ptr<libmnt_iter, IterDeleter> iter(mnt_new_iter(MNT_ITER_FORWARD));
    if (!table || !iter) {
        error = "out of memory reading the mount table";
        return false;
    }
    // Read as the mount table rather than as a plain file, so that the options mount(8)
    // keeps outside the kernel's table (among them "_netdev") are merged in.
    if (const int rc = mnt_table_parse_mtab(table.get(), path.c_str()); rc != 0) {
        error = "cannot read " + path + ": " + std::strerror(rc < 0 ? -rc : rc);
        return false;
    }
    libmnt_fs* fs = nullptr;
    while (mnt_table_next_fs(table.get(), iter.get(), &fs) == 0) {
        MountEntry mount;
        mount.mount_point = text_or_empty(mnt_fs_get_target(fs));
        mount.source = text_or_empty(mnt_fs_get_source(fs));
        mount.fs_type = text_or_empty(mnt_fs_get_fstype(fs));
        mount.device = mnt_fs_get_devno(fs);
        mount.id = mnt_fs_get_id(fs);
        if (mount.mount_point.empty())
            continue;
        mount.user_files = holds_user_files(fs, mount.fs_type);
        mounts.push_back(std::move(mount));
    }
    return true;
}

}  // namespace oakvane
