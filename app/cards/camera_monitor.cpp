#include "camera_monitor.h"

#include <QSocketNotifier>

#include <unistd.h>

namespace oakvane {

namespace {

// udev sets a new device's permissions a moment after the kernel announces it.
constexpr int kSettleMs = 700;

}  // namespace

CameraMonitor::CameraMonitor(std::shared_ptr<CameraCache> cameras, std::function<bool()> may_look,
                             int usb_events, int poll_ms)
    : m_cameras(std::move(cameras)), m_may_look(std::move(may_look)), m_events(usb_events)
{
    // The cameras there now are the baseline: only a change is news.
    m_cameras->cameras();
    connect(&m_timer, &QTimer::timeout, this, &CameraMonitor::look);
    if (m_events >= 0) {
        m_timer.setSingleShot(true);
        m_timer.setInterval(kSettleMs);
        m_notifier = new QSocketNotifier(m_events, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &CameraMonitor::drain_events);
    } else {
        m_timer.setInterval(poll_ms);
        m_timer.start();
    }
}

CameraMonitor::~CameraMonitor()
{
    if (m_events >= 0)
        ::close(m_events);
}

void CameraMonitor::drain_events()
{
    char buffer[4096];
    while (::read(m_events, buffer, sizeof buffer) > 0) {
    }
    m_timer.start();
}

void CameraMonitor::look()
{
    // Looked for again at the next tick or event: a run holds its camera meanwhile.
    if (m_may_look && !m_may_look()) {
        if (m_events >= 0)
            m_timer.start();
        return;
    }
    if (m_cameras->look())
        emit changed();
}

std::unique_ptr<MountMonitor> make_camera_monitor(std::shared_ptr<CameraCache> cameras,
                                                  std::function<bool()> may_look)
{
    return std::make_unique<CameraMonitor>(std::move(cameras), std::move(may_look), open_usb_events());
}

}  // namespace oakvane
