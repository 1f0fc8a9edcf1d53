#pragma once
// Decides when a run asked for by a card insertion may start. A run starts only from the
// window's own event loop: the engine's hooks call into the window synchronously, and a run
// begun inside another modal wait (the update check, a message box, a dialog, an eject) would
// pile a second modal loop on top of the first and leave that one unable to end until the run
// is over.

#include <QObject>

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

    explicit RunGate(QObject* parent = nullptr);

    // A card asks for a run. Dropped while a run is up (as a second Start is refused), held
    // while a wait lives, let through otherwise; requests held together give one run.
    void request();
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
};

}  // namespace oakvane
