#pragma once
// Fakes and helpers shared by the card detection tests.

#include "card_detector.h"
#include "volumes.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace oakvane::test {

// The process's one QCoreApplication, made on first use.
void ensure_app();

// Records what the detector shows, one entry per call.
class RecordingView final : public CardView {
public:
    void set_main_status(std::string_view text) override;
    void set_card_text(std::string_view text) override;
    void set_eject_enabled(bool enabled) override;

    std::vector<std::string> calls;
    std::string status;
    std::string card;
    bool eject = false;
};

// A volume list that the test changes while the detector owns its source.
struct VolumeTable {
    VolumeScan scan{true, {}, {}};
    int listings = 0;
};

class FakeVolumes final : public VolumeSource {
public:
    explicit FakeVolumes(std::shared_ptr<VolumeTable> table) : m_table(std::move(table)) {}
    VolumeScan list_volumes() override;

private:
    std::shared_ptr<VolumeTable> m_table;
};

// What a detector announced through its signals.
struct DetectorLog {
    explicit DetectorLog(CardDetector& detector);
    int runs = 0;
    int state_changes = 0;
    std::vector<std::string> failures;
    std::vector<std::string> events;  // "+path" for an insertion, "-path" for a removal
};

// Runs the event loop until done() holds or timeout_ms have passed. Returns done().
bool run_events_until(const std::function<bool()>& done, int timeout_ms = 20000);

Volume volume(const std::string& mount_point, bool has_dcim, const std::string& label = {},
              int mount_id = 0);

}  // namespace oakvane::test
