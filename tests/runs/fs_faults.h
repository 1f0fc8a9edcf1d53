#pragma once
// File-system faults on demand, for tests of code that must not lose or replace a file when the
// system misbehaves. A test binary that includes fs_faults.c gets its own renameat2 and fsync,
// which fail as armed here and otherwise call the C library's.

#ifdef __cplusplus
extern "C" {
#endif

// Nonzero: renameat2 with flags fails with EINVAL, as on NFS, 9p and many FUSE file systems.
extern int oakvane_fault_renameat2_einval;
// The renameat2 calls failed so far.
extern int oakvane_fault_renameat2_failed;
// Nonzero: fsync of a folder fails with EIO, as after a write-back error on its disk.
extern int oakvane_fault_folder_fsync_eio;

#ifdef __cplusplus
}
#endif
