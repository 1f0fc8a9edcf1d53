#include "open_beneath.h"

#include "owned_fd.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace oakvane::posix {

namespace {

int openat2_once(int dirfd, const char* path, int flags)
{
#ifdef SYS_openat2
    open_how how{};
    how.flags = static_cast<unsigned long long>(flags | O_NOFOLLOW);
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, dirfd, path, &how, sizeof how));
#else
    (void)dirfd, (void)path, (void)flags;
    errno = ENOSYS;
    return -1;
#endif
}

int openat2_noatime(int dirfd, const char* path, int flags)
{
    const int fd = openat2_once(dirfd, path, flags | O_NOATIME);
    if (fd >= 0 || errno != EPERM)
        return fd;
    return openat2_once(dirfd, path, flags);
}

// The folder name inside at, opened only as a place to look up the next component. Opening
// the entry itself (O_PATH with O_NOFOLLOW) and then asking what it is leaves no moment in
// which a link could take its place unseen.
int open_folder_component(int at, const std::string& name)
{
    OwnedFd fd(::openat(at, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return -1;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return -1;
    if (!S_ISDIR(st.st_mode)) {
        errno = S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR;
        return -1;
    }
    return fd.release();
}

}  // namespace

int openat_noatime(int dirfd, const char* path, int flags)
{
    const int fd = ::openat(dirfd, path, flags | O_NOATIME);
    if (fd >= 0 || errno != EPERM)
        return fd;
    return ::openat(dirfd, path, flags);
}

bool is_plain_relative(const std::string& relative)
{
    if (relative.empty() || relative.front() == '/')
        return false;
    const std::string_view all(relative);
    for (std::size_t start = 0; start <= all.size();) {
        const std::size_t end = std::min(all.find('/', start), all.size());
        const std::string_view part = all.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

int open_beneath(int dirfd, const std::string& relative, int flags)
{
    if (!is_plain_relative(relative)) {
        errno = EINVAL;
        return -1;
    }
    const int fd = openat2_noatime(dirfd, relative.c_str(), flags);
    // ENOSYS: a kernel before 5.6; EPERM: a sandbox that refuses calls it does not know.
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM))
        return fd;
    return open_beneath_by_components(dirfd, relative, flags);
}

int open_beneath_by_components(int dirfd, const std::string& relative, int flags)
{
    if (!is_plain_relative(relative)) {
        errno = EINVAL;
        return -1;
    }
    OwnedFd folder;
    int at = dirfd;
    std::size_t start = 0;
    for (std::size_t slash; (slash = relative.find('/', start)) != std::string::npos;
         start = slash + 1) {
        folder.reset(open_folder_component(at, relative.substr(start, slash - start)));
        if (!folder)
            return -1;
        at = folder.get();
    }
    return openat_noatime(at, relative.c_str() + start, flags | O_NOFOLLOW);
}

}  // namespace oakvane::posix
