#include "card_dir.h"

#include "open_beneath.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>

namespace oakvane::posix {

namespace {

CardFile failed(int error)
{
    CardFile file;
    file.error = error;
    // Nothing along the path is followed, so a loop can only be a link where the walk
    // found a file or folder.
    file.status = error == ELOOP ? CardFile::Status::changed : CardFile::Status::failed;
    return file;
}

bool same_regular_file(const struct stat& now, const struct stat& seen)
{
    return S_ISREG(now.st_mode) && now.st_dev == seen.st_dev && now.st_ino == seen.st_ino;
}

}  // namespace

std::string_view CardDirEntry::name() const
{
    const std::string_view all(path);
    const std::size_t slash = all.rfind('/');
    return slash == std::string_view::npos ? all : all.substr(slash + 1);
}

int CardDir::open(const std::string& folder)
{
    m_fd.reset();
    m_path.clear();
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(folder.c_str(), nullptr),
                                                                &std::free);
    if (!resolved)
        return errno;
    // O_NOFOLLOW: the link, if any, was followed by realpath; one put in its place since
    // is not followed again.
    OwnedFd fd(openat_noatime(AT_FDCWD, resolved.get(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return errno;
    m_path = resolved.get();
    m_fd = std::move(fd);
    return 0;
}

CardFile CardDir::open_file(const std::string& relative, const struct stat& seen) const
{
    // O_NONBLOCK: should a FIFO have taken the file's place, opening it must not hang.
    OwnedFd fd(open_beneath(m_fd.get(), relative, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return failed(errno);
    struct stat now;
    if (::fstat(fd.get(), &now) != 0)
        return failed(errno);
    if (!same_regular_file(now, seen)) {
        CardFile file;
        file.status = CardFile::Status::changed;
        return file;
    }
    // A plain regular-file descriptor from here on, whatever the file system makes of the flag.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return failed(errno);
    CardFile file;
    file.status = CardFile::Status::opened;
    file.fd = std::move(fd);
    return file;
}

}  // namespace oakvane::posix
