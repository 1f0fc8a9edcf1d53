#include "eject_local.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <linux/loop.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace oakvane {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { reset(-1); }
    void reset(int fd)
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = fd;
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

// The disk opened for its eject, exclusively: a file system still mounted on it anywhere,
// also in another mount namespace that this process's table does not show (a station run as
// a hardened service has one of its own), makes the kernel refuse with EBUSY. Ejecting through
// that descriptor leaves no moment for someone else to take the disk in between.
// None once open; otherwise how the eject ends.
std::optional<EjectEnd> open_alone(const std::string& node, Descriptor& disk)
{
    disk.reset(open(node.c_str(), O_RDONLY | O_NONBLOCK | O_EXCL | O_CLOEXEC));
    if (disk.get() >= 0)
        return std::nullopt;
    if (errno == EBUSY)
        return EjectEnd{EjectOutcome::in_use, {}};
    return EjectEnd{EjectOutcome::unmounted, system_words("Cannot open", node, errno)};
}

EjectEnd detach_loop(const std::string& node)
{
    Descriptor loop(-1);
    if (const auto refused = open_alone(node, loop))
        return *refused;
    // A device attached with auto-clear lets go of its image with the last unmount already.
    if (ioctl(loop.get(), LOOP_CLR_FD, 0) == 0 || errno == ENXIO)
        return {EjectOutcome::ejected, {}};
    return {EjectOutcome::unmounted, system_words("Cannot detach", node, errno)};
}

EjectEnd eject_media(const std::string& node)
{
    Descriptor disk(-1);
    if (const auto refused = open_alone(node, disk))
        return *refused;
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
