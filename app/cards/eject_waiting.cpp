#include "eject_waiting.h"

#include <QEventLoop>
#include <QThread>
#include <memory>

namespace oakvane {

EjectReport eject_card_waiting(const std::string& card_folder)
{
    EjectReport report;
    // The worker makes its own bus connection and disk-service objects, which D-Bus allows
    // from any thread; nothing of the caller's is touched until it has finished.
    std::unique_ptr<QThread> worker(
        QThread::create([&report, card_folder] { report = eject_card_report(card_folder); }));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit,
                     Qt::QueuedConnection);
    worker->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker->wait();
    return report;
}

}  // namespace oakvane
