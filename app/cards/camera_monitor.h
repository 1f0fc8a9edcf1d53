#pragma once
// Tells when cameras come or go. Where udev runs, the kernel's USB device events wake it;
// elsewhere it looks every couple of seconds. Either way it asks libgphoto2 only while the
// host allows it (no run going, which has a camera open), and signals only when the list of
// cameras has changed.

#include "camera_volumes.h"
#include "mount_monitor.h"

#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace oakvane {

class CameraMonitor final : public MountMonitor {
    Q_OBJECT
public:
    // Looks again into cameras when may_look allows it. usb_events is a descriptor that
    // becomes readable on USB device events (taken over), or -1 to look every poll_ms.
    CameraMonitor(std::shared_ptr<CameraCache> cameras, std::function<bool()> may_look, int usb_events,
                  int poll_ms = 2000);
    ~CameraMonitor() override;

    // Looks for cameras now; signals changed() when they differ from the last look.
    void look();

private:
    void drain_events();

    std::shared_ptr<CameraCache> m_cameras;
    std::function<bool()> m_may_look;
    QTimer m_timer;
    int m_events = -1;
    QSocketNotifier* m_notifier = nullptr;
};

// The running system's camera monitor, looking again into cameras.
std::unique_ptr<MountMonitor> make_camera_monitor(std::shared_ptr<CameraCache> cameras,
                                                  std::function<bool()> may_look);

// A descriptor readable on the kernel's USB device events, when udev runs to make their
// device nodes usable; -1 otherwise.
int open_usb_events();

}  // namespace oakvane
