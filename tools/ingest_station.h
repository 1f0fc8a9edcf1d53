#pragma once
// oakvane-ingest --watch: an ingest station that stays running, shows the card state as it
// changes and ingests every card inserted meanwhile, one run at a time, in the order the cards
// came. A stop while idle ends the station; a stop during a run stops that run and the station.

#include <deque>
#include <memory>
#include <set>
#include <string>
#include <utility>

namespace oakvane {

class CameraCache;
class CardDetector;
class IngestHost;
class Preferences;
class StartCommand;

class IngestStation {
public:
    // cameras are the ones the detector's volumes take; the station looks into them again
    // between runs.
    IngestStation(Preferences& prefs, IngestHost& host, CardDetector& detector, StartCommand& start,
                  std::shared_ptr<CameraCache> cameras)
        : m_prefs(prefs), m_host(host), m_detector(detector), m_start(start), m_cameras(std::move(cameras))
    {
    }

    // Runs the event loop until a stop; returns the exit status (0, or 130 after a stopped
    // run, or 1 when the cards cannot be followed).
    int run();

private:
    void card_inserted(const std::string& mount_point);
    void card_removed(const std::string& mount_point);
    void take_next();
    void write_report();

    Preferences& m_prefs;
    IngestHost& m_host;
    CardDetector& m_detector;
    StartCommand& m_start;
    std::shared_ptr<CameraCache> m_cameras;
    // A card is known by its mount: the mount table's id of it, and its mount point. A card
    // pulled and put back, or swapped for another at the same place, is a new mount.
    using Mount = std::pair<int, std::string>;

    std::deque<Mount> m_waiting;  // cards not yet ingested, in the order they came
    // The cards queued that are still mounted: each insertion is ingested once. The kernel
    // hands a freed mount id to the next mount, so a card that left must be forgotten, or
    // the next card at the same place would look like it.
    std::set<Mount> m_queued;
    bool m_busy = false;
};

}  // namespace oakvane
