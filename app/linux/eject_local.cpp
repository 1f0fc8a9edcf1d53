#include "eject_local.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace oakvane {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

std::string system_words(const char* what, const std::string& path, int error)
{
    return std::string(what) + " " + path + ": " + std::strerror(error);
}

Attempt unmount_once(const std::string& mount_point, std::string& detail)
{
    // The mount point came from the mount table; not following a symbolic link keeps a path
    // swapped in meanwhile from unmounting something else.
    if (umount2(mount_point.c_str(), UMOUNT_NOFOLLOW) == 0)
        return Attempt::done;
    if (errno == EBUSY)
        return Attempt::busy;
    detail = system_words("Cannot unmount", mount_point, errno);
    return Attempt::failed;
}

EjectEnd detach_loop(const std::string& node)
{
    Descriptor loop(open(node.c_str(), O_RDONLY | O_CLOEXEC));
    if (loop.get() < 0)
        return {EjectOutcome::unmounted, system_words("Cannot open", node, errno)};
    // A device attached with auto-clear lets go of its image with the last unmount already.
    if (ioctl(loop.get(), LOOP_CLR_FD, 0) == 0 || errno == ENXIO)
        return {EjectOutcome::ejected, {}};
    return {EjectOutcome::unmounted, system_words("Cannot detach", node, errno)};
}

EjectEnd eject_media(const std::string& node)
{
    Descriptor disk(open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (disk.get() < 0)
        return {EjectOutcome::unmounted, system_words("Cannot open", node, errno)};
    // Many card readers have no eject mechanism; their media is still safe to pull now.
    if (ioctl(disk.get(), CDROMEJECT, 0) == 0)
        return {EjectOutcome::ejected, {}};
    return {EjectOutcome::unmounted, system_words("Cannot eject", node, errno)};
}

}  // namespace

EjectEnd eject_local(const EjectTarget& target, const EjectRetry& retry)
{
    std::string detail;
    if (const auto stop = unmount_for_eject(
            target, retry, [&] { return unmount_once(target.mount_point, detail); }))
        return {*stop, detail};
    return target.device.loop ? detach_loop(target.device.disk_node)
                              : eject_media(target.device.disk_node);
}

}  // namespace oakvane
