#pragma once
// Decides when a run asked for by a card insertion may start. A run starts only from the
// window's own event loop: the engine's hooks call into the window synchronously, and a run
// begun inside another modal wait (the update check, a message box, a dialog, an eject) would
// pile a second modal loop on top of the first and leave that one unable to end until the run
// is over.

#include <QObject>

#include <functional>
#include <string>

namespace oakvane {

class RunGate : public QObject {
    Q_OBJECT
public:
    // The window is inside a modal wait while one of these lives; they nest. A wait must end
    // before its gate does.
    class Wait {
    public:
        explicit Wait(RunGate& gate);
        ~Wait();
        Wait(const Wait&) = delete;
        Wait& operator=(const Wait&) = delete;

    private:
        RunGate& m_gate;
    };

    // Whether a run asked for by card is still wanted when its delivery comes: the world may
    // have changed while the request was held (the card went, Auto Ingest was unticked).
    using StillWanted = std::function<bool(const std::string& card)>;

    explicit RunGate(QObject* parent = nullptr);

    // Asked at every delivery; none lets every delivery through.
    void set_still_wanted(StillWanted still_wanted) { m_still_wanted = std::move(still_wanted); }

    // A card asks for a run. Dropped while a run is up (as a second Start is refused), held
    // while a wait lives, let through otherwise; requests held together give one run, for
    // the card of the latest.
    void request(const std::string& card = {});
    // The window's run flag: set for the whole Start command.
    void set_running(bool running);
    bool running() const { return m_running; }

signals:
    // Always from a queued call of the event loop, never inside request() or ~Wait().
    void startRun();

private:
    void schedule();
    void deliver();

    bool m_running = false;
    int m_waits = 0;
    bool m_held = false;    // a request waits for its run
    bool m_queued = false;  // a delivery is on its way through the event loop
    std::string m_card;     // the card of the held request
    StillWanted m_still_wanted;
};

}  // namespace oakvane
