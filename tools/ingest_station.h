#pragma once
// oakvane-ingest --watch: an ingest station that stays running, shows the card state as it
// changes and ingests every card inserted meanwhile, one run at a time, in the order the cards
// came. A stop while idle ends the station; a stop during a run stops that run and the station.

#include <deque>
#include <string>

namespace oakvane {

class CardDetector;
class IngestHost;
class Preferences;
class StartCommand;

class IngestStation {
public:
    IngestStation(Preferences& prefs, IngestHost& host, CardDetector& detector,
                  StartCommand& start)
        : m_prefs(prefs), m_host(host), m_detector(detector), m_start(start)
    {
    }

    // Runs the event loop until a stop; returns the exit status (0, or 130 after a stopped
    // run, or 1 when the cards cannot be followed).
    int run();

private:
    void card_inserted(const std::string& mount_point);
    void take_next();

    Preferences& m_prefs;
    IngestHost& m_host;
    CardDetector& m_detector;
    StartCommand& m_start;
    std::deque<std::string> m_waiting;  // mount points of cards not yet ingested
    bool m_busy = false;
};

}  // namespace oakvane
