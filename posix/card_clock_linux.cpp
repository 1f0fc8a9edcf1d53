#include "card_clock.h"

#include <libmount/libmount.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace oakvane::posix {

namespace {

constexpr const char* kMountInfo = "/proc/self/mountinfo";

struct TableDeleter {
    void operator()(libmnt_table* table) const { mnt_unref_table(table); }
};

}  // namespace

int file_system_type(const std::string& path, unsigned long& fs_type)
{
    struct statfs info {};
    if (::statfs(path.c_str(), &info) != 0)
        return errno;
    fs_type = static_cast<unsigned long>(info.f_type);
    return 0;
}

// Found by device rather than by mount point: the options are the superblock's, the same for
// every mount of the device, and a device number can't be fooled by a path that goes through
// links or bind mounts.
bool mount_fs_options(const std::string& path, std::string& options, std::string& why)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    std::unique_ptr<libmnt_table, TableDeleter> table(mnt_new_table());
    if (!table) {
        why = "out of memory reading the mount table";
        return false;
    }
    if (const int rc = mnt_table_parse_file(table.get(), kMountInfo); rc != 0) {
        why = std::string("cannot read ") + kMountInfo + ": " + std::strerror(rc < 0 ? -rc : rc);
        return false;
    }
    libmnt_fs* fs = mnt_table_find_devno(table.get(), st.st_dev, MNT_ITER_BACKWARD);
    if (!fs) {
        why = "no mount of the device holding " + path;
        return false;
    }
    const char* fs_options = mnt_fs_get_fs_options(fs);
    options = fs_options ? fs_options : "";
    return true;
}

bool kernel_minutes_west(int& minutes)
{
#ifdef SYS_gettimeofday
    timeval now {};
    struct timezone zone {};
    if (::syscall(SYS_gettimeofday, &now, &zone) != 0)
        return false;
    minutes = zone.tz_minuteswest;
    return true;
#else
    (void)minutes;
    return false;
#endif
}

}  // namespace oakvane::posix
