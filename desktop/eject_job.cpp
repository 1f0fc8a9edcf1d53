#include "eject_job.h"

#include <QThread>

namespace oakvane {

EjectJob::EjectJob(QObject* parent) : QObject(parent) {}

EjectJob::~EjectJob()
{
    if (m_thread)
        m_thread->wait();
}

bool EjectJob::start(const std::string& card_folder)
{
    if (m_thread)
        return false;
    // The worker makes its own bus connection and disk-service objects, which D-Bus allows
    // from any thread; it touches nothing of the window's.
    m_thread.reset(QThread::create([this, card_folder] { m_report = eject_card_report(card_folder); }));
    connect(m_thread.get(), &QThread::finished, this, &EjectJob::thread_ended,
            Qt::QueuedConnection);
    m_thread->start();
    return true;
}

void EjectJob::thread_ended()
{
    m_thread->wait();
    m_thread.reset();
    const EjectReport report = std::move(m_report);
    emit finished(report);
}

}  // namespace oakvane
