// The line to one transmitter for the length of one command: the engine's
// session and its ticks, and each request followed until the reply settles
// it, its time-out, the port's loss or an interruption; then the caller's
// continuation runs from the event loop. Nothing here waits, so one event
// loop drives the lines of a whole fixture side by side. Time-outs follow
// the line time at the current rate, not the window's periods.
#pragma once

#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "engine/Session.h"
#include "engine/TickScheduler.h"

namespace movra::cli {

class Line
{
public:
    enum class Outcome { Settled, TimedOut, Rejected, PortLost, Interrupted };
    // Whether Ctrl+C ends the wait at once, or only after the reply.
    enum class Stop { AtOnce, AfterReply };
    // Requests at one rate are tried this often while they time out.
    static constexpr int kAttempts = 3;

    // timeoutMs 0: from the line time at each rate.
    Line(int timeoutMs, bool testMode, TickScheduler::Mode tickMode);
    ~Line();
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    Session &session() { return m_session; }
    const Session &session() const { return m_session; }

    bool open(const QString &port, qint32 rate, QString *reason);
    void setRate(qint32 rate);
    qint32 rate() const { return m_session.baudRate(); }
    void close();

    // Called once with how the request or the wait ended, from the event
    // loop, never from within the call that started it.
    using Then = std::function<void(Outcome)>;

    // One request with its time-out; then the same up to kAttempts times.
    void exchange(qint32 code, qint32 value, Stop stop, Then then);
    void request(qint32 code, qint32 value, Stop stop, Then then);
    // Ticks until the session's tick count reaches `tick`.
    void waitUntil(quint64 tick, Stop stop, Then then);
    // Calls `afterTick` after each tick until `done` holds, then `then` from
    // the event loop; an interruption calls `interrupted` once and goes on.
    void drive(std::function<void()> afterTick, std::function<bool()> done,
               std::function<void()> interrupted, std::function<void()> then);

    int timeoutTicks(qint32 code) const;
    // Why requests of `code` got no usable answer, told by the statistics
    // since `from`.
    QString whyUnanswered(qint32 code, const LinkStats &from) const;
    QString lostReason() const { return m_lostReason; }

    // What the last request brought.
    const std::optional<Identity> &identity() const { return m_identity; }
    const std::optional<Measurement> &measurement() const { return m_measurement; }
    std::optional<qint32> parameter(Parameter p) const { return m_parameters[size_t(p)]; }

private:
    void retry(qint32 code, qint32 value, Stop stop, Then then, int attempt);
    void follow(qint32 code, Stop stop, quint64 until, Then then);
    void finish(qint32 code, Outcome outcome);
    void later(const Then &then, Outcome outcome);

    Session m_session;
    TickScheduler m_ticks;
    int m_timeoutMs;
    bool m_portLost = false;
    // What is followed now: a request's code, or ReqNone for a wait.
    bool m_following = false;
    qint32 m_code = 0;
    Stop m_stop = Stop::AtOnce;
    quint64 m_until = 0;
    Then m_then;
    QString m_lostReason;
    std::optional<Identity> m_identity;
    std::optional<Measurement> m_measurement;
    std::array<std::optional<qint32>, kParameterCount> m_parameters{};
};

} // namespace movra::cli
