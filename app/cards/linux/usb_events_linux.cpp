#include "camera_monitor.h"

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace oakvane {

int open_usb_events()
{
    // Without udev a new device node keeps root's permissions and no one would be told it
    // is ready; polling finds it when it is.
    if (::access("/run/udev/control", F_OK) != 0)
        return -1;
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (fd < 0)
        return -1;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = 1;  // the kernel's own events
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace oakvane
