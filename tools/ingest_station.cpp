#include "ingest_station.h"

#include "camera_address.h"
#include "camera_monitor.h"
#include "card_detector.h"
#include "card_scan.h"
#include "ingest_host.h"
#include "preferences.h"
#include "run_report.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

namespace oakvane {

namespace {

constexpr int kStoppedStatus = 130;

bool holds_card_folder(const std::string& mount_point)
{
    std::error_code error;
    return std::filesystem::is_directory(card_folder_of(mount_point), error);
}

// The id of the mount at mount_point, as the mount table numbers it; none when it can't be had.
std::optional<int> mount_id_at(const std::string& mount_point)
{
    struct statx about{};
    if (statx(AT_FDCWD, mount_point.c_str(), AT_NO_AUTOMOUNT, STATX_MNT_ID, &about) != 0 ||
        !(about.stx_mask & STATX_MNT_ID))
        return std::nullopt;
    return static_cast<int>(about.stx_mnt_id);
}

}  // namespace

int IngestStation::run()
{
    if (CliHost::stop_notify_fd() < 0) {
        std::perror("Can't wait for a stop signal");
        return 1;
    }
    std::string why;
    if (!m_detector.start_watching(why)) {
        std::fprintf(stderr, "Can't follow the mounted cards: %s\n", why.c_str());
        return 1;
    }
    // Cameras are looked for between runs only: a run holds its camera.
    m_detector.watch_cameras(make_camera_monitor(m_cameras, [this] { return !m_busy; }));
    QObject::connect(&m_detector, &CardDetector::mediaInserted,
                     [this](const QString& path) { card_inserted(path.toStdString()); });
    QObject::connect(&m_detector, &CardDetector::mediaRemoved,
                     [this](const QString& path) { card_removed(path.toStdString()); });
    QObject::connect(&m_detector, &CardDetector::scanFailed, [](const QString& path) {
        std::fprintf(stderr, "Can't list the mounted volumes: %s\n", qPrintable(path));
    });
    m_host.set_print_card_states(true);
    m_detector.ScanForCards();

    // A stop between runs ends the station; during a run the run itself sees it first.
    QSocketNotifier stop(CliHost::stop_notify_fd(), QSocketNotifier::Read);
    QObject::connect(&stop, &QSocketNotifier::activated, [] { QCoreApplication::exit(0); });
    return QCoreApplication::exec();
}

// Cards are taken after the event that announced them has been handled, so that a run never
// starts in the middle of the detector's own work.
void IngestStation::card_inserted(const std::string& mount_point)
{
    // A camera has no mount: it is known by its port until it goes.
    if (camera::is_camera_folder(mount_point)) {
        if (m_queued.emplace(0, mount_point).second) {
            m_waiting.emplace_back(0, mount_point);
            QTimer::singleShot(0, [this] { take_next(); });
        }
        return;
    }
    if (!holds_card_folder(mount_point))
        return;
    const std::optional<int> id = mount_id_at(mount_point);
    if (!id) {
        std::fprintf(stderr, "Can't tell which card is mounted at %s\n", mount_point.c_str());
        return;
    }
    if (!m_queued.emplace(*id, mount_point).second)
        return;
    m_waiting.emplace_back(*id, mount_point);
    QTimer::singleShot(0, [this] { take_next(); });
}

// Told only of the place: whatever was queued there and is no longer the mount there has
// gone, from the queue too, so that a card given its mount id later is not taken twice (once
// for this entry, once for its own). A card mounted there in the same batch keeps its place.
void IngestStation::card_removed(const std::string& mount_point)
{
    const std::optional<int> now = mount_id_at(mount_point);
    const bool there = holds_card_folder(mount_point);
    const auto gone = [&](const Mount& mount) {
        return mount.second == mount_point && (!now || *now != mount.first || !there);
    };
    std::erase_if(m_queued, gone);
    std::erase_if(m_waiting, gone);
}

// One report per run, when the preferences name a folder for them. A report that can't be
// written is said, but a station goes on: the run itself is over and has been reported.
void IngestStation::write_report()
{
    const std::string folder = m_prefs.GetReportFolder();
    if (folder.empty())
        return;
    std::string path;
    std::string why;
    oakvane::write_report_in(folder, m_host.last_run(), path, why);
    if (!why.empty())
        m_host.message_box(why);
}

void IngestStation::take_next()
{
    if (m_busy)
        return;
    m_busy = true;
    bool ending = false;
    while (!ending && !m_waiting.empty()) {
        // A stop that came after a run had finished ends the station before the next card.
        if (m_host.stop_requested())
            break;
        const auto [id, mount_point] = m_waiting.front();
        m_waiting.pop_front();
        // Taken out before its turn, or swapped: a card mounted there since came with an
        // insertion of its own, and going on here would ingest it twice.
        const bool camera = camera::is_camera_folder(mount_point);
        if (!camera && (mount_id_at(mount_point) != id || !holds_card_folder(mount_point)))
            continue;
        m_start.set_card_override(camera ? mount_point : card_folder_of(mount_point));
        m_host.begin_record();
        const StartResult result = m_start.OnStart();
        write_report();
        // A station runs for days: the next starting number must survive a crash or a kill.
        m_prefs.SavePreferences();
        if (result == StartResult::Stopped) {
            QCoreApplication::exit(kStoppedStatus);
            ending = true;
        }
    }
    // Also a stop during the last eject, which may have been taken from the notifier's pipe.
    if (!ending && m_host.stop_requested())
        QCoreApplication::exit(0);
    m_busy = false;
}

}  // namespace oakvane
