#include "card_detector.h"

#include <algorithm>
#include <vector>

namespace oakvane {

CardDetector::CardDetector(CardView& view, std::unique_ptr<VolumeSource> volumes,
                           std::function<bool()> auto_ingest, QObject* parent)
    : QObject(parent), m_view(view), m_volumes(std::move(volumes)),
      m_auto_ingest(std::move(auto_ingest))
{
}

CardDetector::~CardDetector() = default;

bool CardDetector::start_watching(std::string& error)
{
    std::unique_ptr<MountMonitor> monitor = make_mount_monitor(error);
    return monitor && start_watching(std::move(monitor), error);
}

bool CardDetector::start_watching(std::unique_ptr<MountMonitor> monitor, std::string& error)
{
    // The monitor is watching before the baseline is read, so a mount that lands while the
    // list is read still wakes it: at worst the wake-up finds nothing new. Read the other way
    // round, such a mount would raise no event and be announced as inserted only with some
    // later, unrelated change.
    //
    // The current mounts are the baseline: without it the first change would announce every
    // mounted volume as inserted and could start a run on a card that was already there.
    VolumeScan scan;
    if (!list_volumes(scan)) {
        error = scan.error;
        return false;
    }
    m_known = mount_ids(scan);
    connect(monitor.get(), &MountMonitor::changed, this, &CardDetector::mount_table_changed);
    m_monitor = std::move(monitor);
    return true;
}

void CardDetector::watch_cameras(std::unique_ptr<MountMonitor> monitor)
{
    connect(monitor.get(), &MountMonitor::changed, this, &CardDetector::mount_table_changed);
    m_camera_monitor = std::move(monitor);
}

int CardDetector::ScanForCards()
{
    VolumeScan scan;
    list_volumes(scan);
    return decide(scan);
}

int CardDetector::decide(const VolumeScan& scan)
{
    const CardDecision decision = decide_cards(scan, m_state.card_folder, m_state.card_name);
    if (decision.state)
        apply(*decision.state);
    return decision.result;
}

void CardDetector::OnShellNotify(MediaEvent event, const std::string& path)
{
    if (path.empty())
        return;
    if (event == MediaEvent::Removed) {
        ScanForCards();
        return;
    }
    // Told of one path only: whatever is mounted there is what appeared.
    VolumeScan scan;
    list_volumes(scan);
    card_inserted(scan, [&](const Volume& volume) { return volume.mount_point == path; });
}

void CardDetector::card_inserted(const VolumeScan& scan,
                                 const std::function<bool(const Volume&)>& appeared)
{
    decide(scan);
    // A run starts only on a state this scan has established: when the volumes could not be
    // listed, the recorded card may be long gone.
    if (!scan.ok || m_state.card_name.empty())
        return;
    // Only the card's own arrival starts a run. A card that was mounted already may still
    // look new to the scan, when its label could not be read last time and can now, and
    // must not be ingested again because a stick without DCIM came in beside it.
    const auto card = std::find_if(scan.volumes.begin(), scan.volumes.end(),
                                   [](const Volume& volume) { return volume.has_dcim; });
    if (card == scan.volumes.end() || !appeared(*card))
        return;
    if (m_auto_ingest && m_auto_ingest())
        emit runRequested();
}

void CardDetector::mount_table_changed()
{
    VolumeScan scan;
    if (!list_volumes(scan))
        return;  // the next change compares against the last list that could be read
    MountIds now = mount_ids(scan);
    std::vector<std::string> removed;
    MountIds appeared;
    for (const auto& mount : m_known)
        if (!now.contains(mount))
            removed.push_back(mount.second);
    for (const auto& mount : now)
        if (!m_known.contains(mount))
            appeared.insert(mount);
    m_known = std::move(now);
    // The list just read already holds every change of the batch. Insertions go first: were a
    // removal handled first, its scan would record a card inserted in the same batch, and the
    // insertion would find nothing new to start a run on. One decision serves all the mounts
    // that appeared, so a card asks for one run however many came with it.
    for (const auto& mount : appeared)
        emit mediaInserted(QString::fromStdString(mount.second));
    if (!appeared.empty())
        card_inserted(scan, [&](const Volume& volume) {
            return appeared.contains({volume.mount_id, volume.mount_point});
        });
    for (const std::string& path : removed) {
        emit mediaRemoved(QString::fromStdString(path));
        OnShellNotify(MediaEvent::Removed, path);
    }
}

bool CardDetector::list_volumes(VolumeScan& scan)
{
    scan = m_volumes->list_volumes();
    if (!scan.ok)
        emit scanFailed(QString::fromStdString(scan.error));
    return scan.ok;
}

void CardDetector::apply(const CardState& state)
{
    m_state = state;
    m_view.set_main_status(state.main_status);
    m_view.set_card_text(state.card_text);
    m_view.set_eject_enabled(state.eject_enabled);
    emit stateChanged();
}

CardDetector::MountIds CardDetector::mount_ids(const VolumeScan& scan)
{
    MountIds ids;
    for (const Volume& volume : scan.volumes)
        ids.emplace(volume.mount_id, volume.mount_point);
    return ids;
}

}  // namespace oakvane
