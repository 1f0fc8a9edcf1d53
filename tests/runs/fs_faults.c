#define _GNU_SOURCE
#include "fs_faults.h"

#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <sys/stat.h>

int oakvane_fault_renameat2_einval = 0;
int oakvane_fault_renameat2_failed = 0;
int oakvane_fault_folder_fsync_eio = 0;

int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath,
              unsigned int flags)
{
    if (oakvane_fault_renameat2_einval && flags != 0) {
        __atomic_fetch_add(&oakvane_fault_renameat2_failed, 1, __ATOMIC_RELAXED);
        errno = EINVAL;
        return -1;
    }
    int (*real)(int, const char*, int, const char*, unsigned int) =
        (int (*)(int, const char*, int, const char*, unsigned int))dlsym(RTLD_NEXT, "renameat2");
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    return real(olddirfd, oldpath, newdirfd, newpath, flags);
}

int fsync(int fd)
{
    struct stat about;
    if (oakvane_fault_folder_fsync_eio && fstat(fd, &about) == 0 && S_ISDIR(about.st_mode)) {
        errno = EIO;
        return -1;
    }
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    return real(fd);
}
