#include "cli/Line.h"

#include <QAbstractEventDispatcher>
#include <QTimer>
#include <utility>

#include "cli/Interrupt.h"

#include <memory>

namespace movra::cli {

namespace {
// What the device takes between a request's last byte and its answer's
// first; the line time itself comes from the bytes.
constexpr int kTurnaroundMs = 50;
// The identification text has no fixed length; the transmitter's is 24
// bytes, and this leaves room for a longer version string.
constexpr int kIdentificationBytes = 32;
constexpr int kBitsPerByte = 10; // 8N1: start, eight data bits, stop

int frameBytes(const FrameSpec &f)
{
    return f.layout == FrameLayout::BaudRate ? kBaudFrameSize : kRequestFrameSize;
}

int replyBytes(const RequestSpec &spec, const FrameSpec &f)
{
    if (spec.settle == Settle::Handshake && f.function == FnWrite)
        return kIdentificationBytes;
    if (f.layout == FrameLayout::BaudRate)
        return kBaudFrameSize;
    if (f.function == FnRead)
        return 5 + 2 * f.count; // address, function, count, data, CRC
    return kRequestFrameSize;   // a write's echo
}

quint64 since(quint64 now, quint64 then)
{
    // The figures restart with each handshake.
    return now >= then ? now - then : now;
}
// A reply's bytes, the request's and the device's turnaround at `rate`, plus
// the reply intake's quiet ticks, in ticks.
int lineTimeoutTicks(qint32 code, bool testMode, qint32 rate)
{
    const RequestSpec *spec = requestSpec(code);
    if (!spec || rate <= 0)
        return 0;
    const bool alt = testMode && spec->testModeFrame.layout != FrameLayout::None;
    const FrameSpec &f = alt ? spec->testModeFrame : spec->frame;
    const int bits = (frameBytes(f) + replyBytes(*spec, f)) * kBitsPerByte;
    const int lineMs = (bits * 1000 + rate - 1) / rate;
    const int waitTicks = (lineMs + kTurnaroundMs + timing::kTickMs - 1) / timing::kTickMs;
    // One more tick: the request goes out between two ticks.
    return waitTicks + timing::kQuietTicks + 1;
}
} // namespace

Line::Line(int timeoutMs, bool testMode, TickScheduler::Mode tickMode) : m_timeoutMs(timeoutMs)
{
    m_session.setTestMode(testMode);
    // A reply is taken as it completes, and the ticks run only when one is
    // due: a time-out, the quiet-time fallback, the end of a wait.
    m_session.setIntake(Intake::WhenComplete);
    m_ticks.follow(&m_session);
    m_ticks.setMode(tickMode);
    QObject::connect(&m_ticks, &TickScheduler::tick, &m_session, [this] {
        m_session.tick();
        if (m_following && m_code == ReqNone && m_session.ticks() >= m_until)
            finish(ReqNone, Outcome::Settled);
    });
    // A signal wakes the event loop (nothing polls for it).
    QAbstractEventDispatcher *loop = QAbstractEventDispatcher::instance();
    wakeOnInterrupt(loop);
    QObject::connect(loop, &QAbstractEventDispatcher::awake, &m_session, [this] {
        if (m_following && m_stop == Stop::AtOnce && interruptSignal())
            finish(m_code, Outcome::Interrupted);
    });
    QObject::connect(&m_session, &Session::portFailed, &m_session, [this](const QString &reason) {
        m_portLost = true;
        m_lostReason = reason;
        finish(m_code, Outcome::PortLost);
    });
    QObject::connect(&m_session, &Session::connected, &m_session,
                     [this](const Identity &identity) { m_identity = identity; });
    QObject::connect(&m_session, &Session::measured, &m_session,
                     [this](const Measurement &m) { m_measurement = m; });
    QObject::connect(&m_session, &Session::parameterRead, &m_session,
                     [this](Parameter p, qint32 value) { m_parameters[size_t(p)] = value; });
    // How a request of `code` ended, unless only a wait is followed.
    const auto ended = [this](Outcome o) {
        return [this, o](qint32 code) {
            if (m_code != ReqNone)
                finish(code, o);
        };
    };
    QObject::connect(&m_session, &Session::replySettled, &m_session, ended(Outcome::Settled));
    QObject::connect(&m_session, &Session::requestTimedOut, &m_session, ended(Outcome::TimedOut));
    QObject::connect(&m_session, &Session::writeRejected, &m_session, ended(Outcome::Rejected));
    m_ticks.start();
}

Line::~Line()
{
    m_ticks.stop();
    close();
}

bool Line::open(const QString &port, qint32 rate, QString *reason)
{
    m_session.setBaudRate(rate);
    m_session.openPort(port, rate);
    if (m_session.port().isOpen()) {
        m_portLost = false;
        return true;
    }
    *reason = m_session.port().errorString();
    return false;
}

void Line::setRate(qint32 rate)
{
    m_session.setBaudRate(rate);
    m_session.port().setBaudRate(rate, QSerialPort::AllDirections);
}

void Line::close()
{
    m_session.closePort();
}

int Line::timeoutTicks(qint32 code) const
{
    if (m_timeoutMs > 0)
        return (m_timeoutMs + timing::kTickMs - 1) / timing::kTickMs;
    return lineTimeoutTicks(code, m_session.testMode(), m_session.baudRate());
}

void Line::exchange(qint32 code, qint32 value, Stop stop, Then then)
{
    if (m_portLost)
        return later(then, Outcome::PortLost);
    if (stop == Stop::AtOnce && interruptSignal())
        return later(then, Outcome::Interrupted);
    m_identity.reset();
    m_measurement.reset();
    m_parameters = {};
    m_session.request(code, value, timeoutTicks(code));
    // On the wire now, not after a pass of the event loop.
    m_session.port().flush();
    follow(code, stop, 0, std::move(then));
}

// Until the request of `code` ends or, without one, until tick `until`.
void Line::follow(qint32 code, Stop stop, quint64 until, Then then)
{
    m_following = true;
    m_code = code;
    m_stop = stop;
    m_until = until;
    m_then = std::move(then);
    if (m_portLost)
        finish(code, Outcome::PortLost);
}

void Line::finish(qint32 code, Outcome outcome)
{
    // The port's loss ends whatever is followed.
    if (!m_following || (code != m_code && outcome != Outcome::PortLost))
        return;
    m_following = false;
    later(std::exchange(m_then, Then()), outcome);
}

// Out of the session's signal, so that the continuation may start the next
// request at once.
void Line::later(const Then &then, Outcome outcome)
{
    QTimer::singleShot(0, &m_session, [then, outcome] { then(outcome); });
}

void Line::request(qint32 code, qint32 value, Stop stop, Then then)
{
    retry(code, value, stop, std::move(then), 1);
}

void Line::retry(qint32 code, qint32 value, Stop stop, Then then, int attempt)
{
    exchange(code, value, stop, [this, code, value, stop, then, attempt](Outcome o) {
        if (o != Outcome::TimedOut || attempt >= kAttempts)
            then(o);
        else
            retry(code, value, stop, then, attempt + 1);
    });
}

void Line::waitUntil(quint64 tick, Stop stop, Then then)
{
    if (m_session.ticks() >= tick)
        return later(then, m_portLost ? Outcome::PortLost : Outcome::Settled);
    if (stop == Stop::AtOnce && interruptSignal())
        return later(then, Outcome::Interrupted);
    m_session.wakeAt(tick);
    follow(ReqNone, stop, tick, std::move(then));
}

void Line::drive(std::function<void()> afterTick, std::function<bool()> done,
                 std::function<void()> interrupted, std::function<void()> then)
{
    auto scope = std::make_shared<QObject>();
    auto told = std::make_shared<bool>(false);
    // A procedure counts on every tick of the grid while it runs.
    const TickScheduler::Mode mode = m_ticks.mode();
    m_ticks.setMode(TickScheduler::Mode::EveryTick);
    QObject::connect(&m_ticks, &TickScheduler::tick, scope.get(), [=]() mutable {
        if (!*told && interruptSignal()) {
            *told = true;
            interrupted();
        }
        afterTick();
        if (!done() || !scope)
            return;
        // Out of the tick, and only once.
        QObject::disconnect(&m_ticks, nullptr, scope.get(), nullptr);
        m_ticks.setMode(mode);
        QTimer::singleShot(0, &m_session, [then, keep = scope] { then(); });
        scope.reset();
    });
}

QString Line::whyUnanswered(qint32 code, const LinkStats &from) const
{
    const LinkStats &now = m_session.stats();
    const auto badCrc = size_t(BlockCause::BadCrc);
    const quint64 exceptions = since(now.exceptions, from.exceptions);
    const quint64 crcs = since(now.notRecognised[badCrc], from.notRecognised[badCrc]);
    const quint64 bytes = since(now.bytesRead, from.bytesRead);
    const QString what = QLatin1String(requestKindName(requestKindIndex(code)));
    if (exceptions > 0)
        return QStringLiteral("%1: the device refused it (exception reply)").arg(what);
    if (crcs > 0)
        return QStringLiteral("%1: the reply failed its CRC check").arg(what);
    if (bytes > 0 && code == ReqProbe)
        return QStringLiteral("%1: the answer is not a transmitter's identification (%2 bytes)")
            .arg(what)
            .arg(bytes);
    if (bytes > 0)
        return QStringLiteral("%1: no usable answer (%2 bytes not recognised)")
            .arg(what)
            .arg(bytes);
    return QStringLiteral("%1: no answer within %2 ms")
        .arg(what)
        .arg(timeoutTicks(code) * timing::kTickMs);
}

} // namespace movra::cli
