#include "camera_monitor.h"

#include "camera_detect.h"

#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

namespace oakvane {

namespace {

// udev sets a new device's permissions a moment after the kernel announces it.
constexpr int kSettleMs = 700;

}  // namespace

CameraMonitor::CameraMonitor(CameraLister lister, std::function<bool()> may_look, int usb_events, int poll_ms)
    : m_lister(std::move(lister)), m_may_look(std::move(may_look)), m_events(usb_events)
{
    // The cameras there now are the baseline: only a change is news.
    std::string why;
    for (const camera::ConnectedCamera& found : m_lister(why))
        m_last.push_back(found.port + " " + found.model);
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
    std::string why;
    std::vector<std::string> now;
    for (const camera::ConnectedCamera& found : m_lister(why))
        now.push_back(found.port + " " + found.model);
    if (!why.empty()) {
        std::fprintf(stderr, "Cameras can't be looked for: %s\n", why.c_str());
        return;
    }
    if (now == m_last)
        return;
    m_last = std::move(now);
    emit changed();
}

std::unique_ptr<MountMonitor> make_camera_monitor(std::function<bool()> may_look)
{
    return std::make_unique<CameraMonitor>(camera::detect_cameras, std::move(may_look), open_usb_events());
}

}  // namespace oakvane
