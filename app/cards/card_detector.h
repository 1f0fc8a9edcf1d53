#pragma once
// Card detection for the main window and the command line: scans the volumes, records the one
// mounted card for the next run, shows the card state, and follows the system's mount table so
// that cards are noticed as they come and go.

#include "card_scan.h"
#include "mount_monitor.h"
#include "volumes.h"

#include <QObject>
#include <QString>

#include <functional>
#include <set>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace oakvane {

// The window's part in card detection.
class CardView {
public:
    virtual ~CardView() = default;
    virtual void set_main_status(std::string_view text) = 0;
    virtual void set_card_text(std::string_view text) = 0;
    virtual void set_eject_enabled(bool enabled) = 0;
};

enum class MediaEvent { Inserted, Removed };

class CardDetector : public QObject {
    Q_OBJECT
public:
    // auto_ingest answers whether a newly inserted card starts a run by itself.
    CardDetector(CardView& view, std::unique_ptr<VolumeSource> volumes,
                 std::function<bool()> auto_ingest, QObject* parent = nullptr);
    ~CardDetector() override;

    // Starts following the mount table; false with the reason in error when it cannot, and
    // then the card state changes only through ScanForCards.
    bool start_watching(std::string& error);
    // The same with a monitor made by the caller, which must be watching already.
    bool start_watching(std::unique_ptr<MountMonitor> monitor, std::string& error);

    // Also follows the cameras that come and go, as monitor tells of them; their changes are
    // insertions and removals as mounts' are.
    void watch_cameras(std::unique_ptr<MountMonitor> monitor);

    // Rescans the volumes. Returns 0 when the recorded card is still the only one (nothing
    // changes), 1 otherwise, also when the volumes cannot be listed (nothing changes then
    // either, and scanFailed tells why).
    int ScanForCards();

    // A volume at path was mounted or went away. An insertion asks for a run when automatic
    // ingestion is on and it leaves exactly one card mounted, the one mounted at path; a
    // removal rescans.
    void OnShellNotify(MediaEvent event, const std::string& path);

    // The mount table changed: every mount point that appeared is an insertion and every one
    // that went away a removal, insertions first; one batch asks for one run at most. Called
    // by the monitor.
    void mount_table_changed();

    const CardState& state() const { return m_state; }

signals:
    void runRequested();
    // A scan has set the card state anew (the recorded card and the view).
    void stateChanged();
    void scanFailed(const QString& why);
    void mediaInserted(const QString& path);
    void mediaRemoved(const QString& path);

private:
    // A mount is known by its id and its place: a volume moved elsewhere is a new one there.
    using MountIds = std::set<std::pair<int, std::string>>;

    bool list_volumes(VolumeScan& scan);
    // The card decision on scan, applied: ScanForCards on a list already read.
    int decide(const VolumeScan& scan);
    // Mounts appeared: decides on scan and asks for a run when the one card mounted is one
    // of them.
    void card_inserted(const VolumeScan& scan, const std::function<bool(const Volume&)>& appeared);
    void apply(const CardState& state);
    static MountIds mount_ids(const VolumeScan& scan);

    CardView& m_view;
    std::unique_ptr<VolumeSource> m_volumes;
    std::function<bool()> m_auto_ingest;
    std::unique_ptr<MountMonitor> m_monitor;
    std::unique_ptr<MountMonitor> m_camera_monitor;
    MountIds m_known;
    CardState m_state = no_card_state();
};

}  // namespace oakvane
