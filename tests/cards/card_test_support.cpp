#include "card_test_support.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace oakvane::test {

void ensure_app()
{
    static int argc = 1;
    static char name[] = "cards_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

void RecordingView::set_main_status(std::string_view text)
{
    calls.push_back("status: " + std::string(text));
    status = text;
}

void RecordingView::set_card_text(std::string_view text)
{
    calls.push_back("card: " + std::string(text));
    card = text;
}

void RecordingView::set_eject_enabled(bool enabled)
{
    calls.push_back(enabled ? "eject: on" : "eject: off");
    eject = enabled;
}

VolumeScan FakeVolumes::list_volumes()
{
    ++m_table->listings;
    return m_table->scan;
}

DetectorLog::DetectorLog(CardDetector& detector)
{
    QObject::connect(&detector, &CardDetector::runRequested, [this] { ++runs; });
    QObject::connect(&detector, &CardDetector::stateChanged, [this] { ++state_changes; });
    QObject::connect(&detector, &CardDetector::scanFailed,
                     [this](const QString& why) { failures.push_back(why.toStdString()); });
    QObject::connect(&detector, &CardDetector::mediaInserted,
                     [this](const QString& path) { events.push_back("+" + path.toStdString()); });
    QObject::connect(&detector, &CardDetector::mediaRemoved,
                     [this](const QString& path) { events.push_back("-" + path.toStdString()); });
}

bool run_events_until(const std::function<bool()>& done, int timeout_ms)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(20);
    QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

Volume volume(const std::string& mount_point, bool has_dcim, const std::string& label,
              int mount_id)
{
    Volume v;
    v.mount_point = mount_point;
    v.device = "/dev/fake";
    v.fs_type = "ext2";
    v.label = label;
    v.has_dcim = has_dcim;
    v.mount_id = mount_id;
    return v;
}

}  // namespace oakvane::test
