#pragma once
// An eject of the main window, on a thread of its own: the window keeps answering the user
// while a busy card is retried (about 10 s) or the disk service asks for a password.

#include "eject.h"

#include <QObject>

#include <memory>
#include <string>

class QThread;

namespace oakvane {

class EjectJob : public QObject {
    Q_OBJECT
public:
    explicit EjectJob(QObject* parent = nullptr);
    // Waits for an eject still under way: the thread writes into this object.
    ~EjectJob() override;

    bool running() const { return m_thread != nullptr; }
    // Starts ejecting the card of card_folder; false when one is still under way.
    bool start(const std::string& card_folder);

signals:
    // From the event loop of the thread that started the job, once the answer is in.
    void finished(const oakvane::EjectReport& report);

private:
    void thread_ended();

    std::unique_ptr<QThread> m_thread;
    EjectReport m_report;
};

}  // namespace oakvane
