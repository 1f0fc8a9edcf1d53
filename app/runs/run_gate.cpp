#include "run_gate.h"

namespace oakvane {

RunGate::Wait::Wait(RunGate& gate) : m_gate(gate)
{
    ++m_gate.m_waits;
}

RunGate::Wait::~Wait()
{
    if (--m_gate.m_waits == 0 && m_gate.m_held)
        m_gate.schedule();
}

RunGate::RunGate(QObject* parent) : QObject(parent) {}

void RunGate::request(const std::string& card)
{
    if (m_running)
        return;
    m_card = card;
    if (m_held)
        return;
    m_held = true;
    if (m_waits == 0)
        schedule();
}

void RunGate::set_running(bool running)
{
    m_running = running;
}

void RunGate::schedule()
{
    if (m_queued)
        return;
    m_queued = true;
    QMetaObject::invokeMethod(this, &RunGate::deliver, Qt::QueuedConnection);
}

// The queued call may be served by a modal loop that began after it was queued, or after a
// run started: the state is looked at again here, not trusted from the time of the request.
void RunGate::deliver()
{
    m_queued = false;
    if (!m_held || m_waits > 0)
        return;  // the end of the last wait schedules again
    m_held = false;
    if (m_running)
        return;
    if (m_still_wanted && !m_still_wanted(m_card))
        return;
    emit startRun();
}

}  // namespace oakvane
