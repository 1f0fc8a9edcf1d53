#pragma once
// How a file written into a tree is made durable depends on the file system below it. One
// syncfs writes a whole group of files and their metadata at the cost of one device flush,
// but only local disk file systems pass it down to the storage: FUSE file systems (bindfs,
// sshfs, rclone, mergerfs, gocryptfs, ...), network ones (NFS, CIFS, 9p) and others take
// syncfs as done while the data still sits in a daemon's or a server's cache, and
// sync_file_range never reaches their daemon. There each file is flushed with fsync, which
// they do pass on.

#include <string>

namespace oakvane {

enum class FlushPath {
    group,     // syncfs for the group, then each file's own write-back error
    per_file,  // fsync of each file before it is published, and again under its final name
};

// The path for the file system holding the open file fd (or the folder at path): group only
// for the file system types known to honour syncfs (ext2/3/4, xfs, btrfs, f2fs); per_file for
// every other type, and when the type can't be told.
FlushPath flush_path_of(int fd);
FlushPath flush_path_of(const std::string& path);

}  // namespace oakvane
