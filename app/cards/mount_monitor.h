#pragma once
// Tells when the system's mount table has changed: a volume was mounted, unmounted or moved.
// It says nothing about what changed; the listener compares volume lists.

#include <QObject>

#include <memory>
#include <string>

namespace oakvane {

class MountMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~MountMonitor() override = default;

signals:
    // Delivered through the event loop of the thread that made the monitor.
    void changed();
};

// Watches the running system's mount table; nullptr with the reason in error when it cannot.
std::unique_ptr<MountMonitor> make_mount_monitor(std::string& error);

}  // namespace oakvane
