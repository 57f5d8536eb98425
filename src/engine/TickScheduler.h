// Runs ticks on the 10 ms grid for whoever owns a session, and the tick()
// signal that the owner turns into one tick of its engine.
//
// EveryTick is a plain 10 ms timer. WhenDue keeps the same grid (tick n
// begins n x 10 ms after start()) but wakes only for a tick at which the
// session can act: on waking it emits tick() for every grid tick that has
// passed, in order, the skipped ones being no-ops but for the session's
// counters. Before anything from outside changes the session, the ticks
// that have passed are run first; afterwards the next wake-up is armed anew.
//
// Lateness is treated as the 10 ms timer treats it: a tick that can act is
// never run behind its time in a burst. Waking after its moment, the grid
// moves on by the delay (those ticks are lost, as a late timer loses them),
// and a change from outside that finds its moment passed comes before it.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

namespace movra {

class Session;

class TickScheduler : public QObject
{
    Q_OBJECT

public:
    enum class Mode { EveryTick, WhenDue };

    // EveryTick until told otherwise.
    explicit TickScheduler(QObject *parent = nullptr);
    ~TickScheduler() override;

    // "every" or "due" (as MOVRA_TICK gives them), else `fallback`.
    static Mode modeNamed(const QString &name, Mode fallback);

    // A running scheduler restarts in the new mode.
    void setMode(Mode mode);
    Mode mode() const { return m_mode; }
    // What is due comes from `session`, which calls back before it changes.
    void follow(Session *session);
    // Monotonic nanoseconds, for tests; the default is QElapsedTimer's.
    void setClock(std::function<qint64()> nowNs);

    void start();
    void stop();
    bool isActive() const { return m_active; }

    // WhenDue: grid ticks run and lost since start(), and the clock time of
    // the next wake-up (-1: none armed).
    quint64 ticksRun() const { return m_ran; }
    quint64 ticksLost() const { return m_lost; }
    qint64 wakeAt() const { return m_wakeAt; }

    // The longest sleep, also with nothing due: a catch-up never has more
    // ticks than this to run, and tick() goes on.
    static constexpr int kIdleWakeTicks = 200;

public slots:
    // Runs what has passed and arms the next wake-up; the timer calls it,
    // a test on a clock of its own may too.
    void wake();

signals:
    void tick();

private:
    void onTimeout();
    void catchUp();
    void reschedule();
    void runUntil(quint64 target);
    void moveGrid(quint64 ticks);
    bool canRun() const;
    qint64 now() const;
    quint64 gridNow() const;

    QTimer m_timer;
    Mode m_mode = Mode::EveryTick;
    QPointer<Session> m_session;
    std::function<qint64()> m_clock;
    QElapsedTimer m_elapsed;
    bool m_active = false;
    int m_inTick = 0;
    quint64 m_starts = 0;
    qint64 m_t0 = 0;   // clock time of grid tick 0
    quint64 m_ran = 0; // last grid tick run
    quint64 m_due = 0; // grid tick the wake-up is armed for; 0: none
    quint64 m_lost = 0;
    qint64 m_wakeAt = -1;
};

} // namespace movra
