#include "engine/TickScheduler.h"

#include "engine/Session.h"

namespace movra {

namespace {
constexpr qint64 kTickNs = qint64(timing::kTickMs) * 1000000;
} // namespace

TickScheduler::TickScheduler(QObject *parent) : QObject(parent)
{
    m_elapsed.start();
    connect(&m_timer, &QTimer::timeout, this, &TickScheduler::onTimeout);
}

TickScheduler::~TickScheduler()
{
    if (m_session)
        m_session->setCatchUp({});
}

TickScheduler::Mode TickScheduler::modeNamed(const QString &name, Mode fallback)
{
    if (name == QLatin1String("every"))
        return Mode::EveryTick;
    if (name == QLatin1String("due"))
        return Mode::WhenDue;
    return fallback;
}

void TickScheduler::setMode(Mode mode)
{
    if (mode == m_mode)
        return;
    const bool wasActive = m_active;
    stop();
    m_mode = mode;
    if (wasActive)
        start();
}

void TickScheduler::follow(Session *session)
{
    if (m_session)
        m_session->setCatchUp({});
    m_session = session;
    if (!session)
        return;
    session->setCatchUp([this] { catchUp(); });
    connect(session, &Session::dueChanged, this, &TickScheduler::reschedule, Qt::UniqueConnection);
}

void TickScheduler::setClock(std::function<qint64()> nowNs)
{
    m_clock = std::move(nowNs);
}

void TickScheduler::start()
{
    stop();
    m_active = true;
    if (m_mode == Mode::EveryTick) {
        m_timer.setSingleShot(false);
        m_timer.setTimerType(Qt::CoarseTimer);
        m_timer.start(timing::kTickMs);
        return;
    }
    // One shot at a time, to the millisecond: Qt may fire a coarse timer of
    // 20 ms or more up to 5 % early.
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    ++m_starts;
    m_t0 = now();
    m_ran = 0;
    m_due = 0;
    m_lost = 0;
    reschedule();
}

void TickScheduler::stop()
{
    m_active = false;
    m_timer.stop();
    m_wakeAt = -1;
}

void TickScheduler::onTimeout()
{
    if (m_mode == Mode::EveryTick)
        emit tick();
    else
        wake();
}

bool TickScheduler::canRun() const
{
    // Inside a tick (a box it opened runs an event loop) nothing more runs:
    // a repeating Qt timer does not fire again while its own slot runs.
    return m_active && m_mode == Mode::WhenDue && m_inTick == 0 && m_session;
}

qint64 TickScheduler::now() const
{
    return m_clock ? m_clock() : m_elapsed.nsecsElapsed();
}

quint64 TickScheduler::gridNow() const
{
    const qint64 since = now() - m_t0;
    return since > 0 ? quint64(since / kTickNs) : 0;
}

void TickScheduler::moveGrid(quint64 ticks)
{
    m_t0 += qint64(ticks) * kTickNs;
    m_lost += ticks;
}

void TickScheduler::wake()
{
    if (!canRun())
        return;
    const quint64 target = gridNow();
    if (m_due <= m_ran) {
        runUntil(target);
    } else {
        if (target > m_due)
            moveGrid(target - m_due);
        runUntil(qMin(target, m_due));
    }
    reschedule();
}

void TickScheduler::catchUp()
{
    if (!canRun())
        return;
    const quint64 target = gridNow();
    // The wake-up for the due tick is overdue: the change from outside
    // comes first, as it would before a late timer's tick.
    if (m_due > m_ran && target >= m_due)
        moveGrid(target - m_due + 1);
    runUntil(gridNow());
}

void TickScheduler::runUntil(quint64 target)
{
    // A restart from inside a tick begins a new grid; this one ends.
    const quint64 starts = m_starts;
    while (m_ran < target && canRun() && starts == m_starts) {
        ++m_ran;
        ++m_inTick;
        emit tick();
        --m_inTick;
    }
}

void TickScheduler::reschedule()
{
    if (!canRun())
        return;
    const int due = m_session->ticksUntilDue();
    m_due = due > 0 ? m_ran + quint64(due) : 0;
    // Never longer than the idle wake-up, even for a far time-out.
    quint64 at = qMax(m_ran, gridNow()) + kIdleWakeTicks;
    if (m_due != 0 && m_due < at)
        at = m_due;
    m_wakeAt = m_t0 + qint64(at) * kTickNs;
    const qint64 waitNs = m_wakeAt - now();
    m_timer.start(waitNs > 0 ? int((waitNs + 999999) / 1000000) : 0);
}

} // namespace movra
