#include "engine/TickScheduler.h"

#include "engine/Session.h"

namespace movra {

TickScheduler::TickScheduler(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(timing::kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &TickScheduler::tick);
}

void TickScheduler::start()
{
    m_timer.start();
}

void TickScheduler::stop()
{
    m_timer.stop();
}

} // namespace movra
