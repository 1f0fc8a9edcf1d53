#include "mount_monitor.h"

#include <libmount/libmount.h>

#include <QSocketNotifier>

#include <cstring>

namespace oakvane {

namespace {

struct MonitorDeleter {
    void operator()(libmnt_monitor* monitor) const { mnt_unref_monitor(monitor); }
};
using MonitorPtr = std::unique_ptr<libmnt_monitor, MonitorDeleter>;

// libmount's kernel monitor: a descriptor that turns readable when the kernel's mount table
// changes, so the event loop wakes only then.
class KernelMountMonitor final : public MountMonitor {
public:
    KernelMountMonitor(MonitorPtr monitor, int fd)
        : m_monitor(std::move(monitor)), m_notifier(fd, QSocketNotifier::Read, this)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this] { drain(); });
    }

private:
    void drain()
    {
        // Every pending change is taken so the descriptor stops being readable; the
        // listener rereads the whole table, so one signal covers them all. The bound guards
        // against a library that keeps reporting the same change.
        for (int i = 0; i < 256; ++i) {
            if (mnt_monitor_next_change(m_monitor.get(), nullptr, nullptr) != 0)
                break;
        }
        emit changed();
    }

    MonitorPtr m_monitor;
    QSocketNotifier m_notifier;
};

}  // namespace

std::unique_ptr<MountMonitor> make_mount_monitor(std::string& error)
{
    MonitorPtr monitor(mnt_new_monitor());
    if (!monitor) {
        error = "cannot create a mount table monitor";
        return nullptr;
    }
    if (const int rc = mnt_monitor_enable_kernel(monitor.get(), 1); rc < 0) {
        error = std::string("cannot watch the kernel's mount table: ") + std::strerror(-rc);
        return nullptr;
    }
    const int fd = mnt_monitor_get_fd(monitor.get());
    if (fd < 0) {
        error = std::string("cannot watch the kernel's mount table: ") + std::strerror(-fd);
        return nullptr;
    }
    return std::make_unique<KernelMountMonitor>(std::move(monitor), fd);
}

}  // namespace oakvane
