// identify, read, check and params: connecting, readings and their
// judgement, and the parameters read.
#include "cli/Commands.h"
#include "cli/Events.h"
#include "cli/Interrupt.h"

#include <QEventLoop>
#include <algorithm>

namespace movra::cli {

using Outcome = Line::Outcome;
using Stop = Line::Stop;

DeviceRun::DeviceRun(const Invocation &inv, const LineChoice &choice, Output &out,
                     records::Recorder &recorder)
    : m_inv(inv), m_choice(choice), m_out(out), m_recorder(recorder),
      m_line(inv.timeoutMs, !inv.testPassword.isEmpty(), inv.tickMode)
{
}

int DeviceRun::run()
{
    QEventLoop loop;
    std::optional<int> result;
    start([&](int status) {
        result = status;
        loop.quit();
    });
    if (!result)
        loop.exec();
    return *result;
}

void DeviceRun::start(Done done)
{
    m_done = std::move(done);
    connect([this](int status) {
        if (status != kDone)
            return m_done(status);
        command([this](int status) { end(status); });
    });
}

void DeviceRun::command(Next next)
{
    switch (m_inv.command) {
    case Command::Read:
    case Command::Check:
        return learnOrder([this, next](int status) {
            if (status != kDone)
                return next(status);
            readings(next);
        });
    case Command::Calibrate:
        return calibrate(next);
    case Command::Params:
        return readParameters(next);
    case Command::Write:
        return write(next);
    default:
        return next(kDone);
    }
}

void DeviceRun::end(int status)
{
    const bool lost = status == kPortFault;
    m_recorder.disconnected(lost, lost                ? m_line.lostReason()
                                  : interruptSignal() ? QStringLiteral("interrupted")
                                                      : QString());
    m_line.close();
    m_done(status);
}

void DeviceRun::connect(Next next)
{
    QString reason;
    const bool testMode = !m_inv.testPassword.isEmpty();
    if (!m_line.open(m_choice.port, m_choice.baud, &reason)) {
        m_recorder.attemptFailed(m_choice.port, m_choice.baud, testMode, reason);
        return next(
            fail(kPortFault, QStringLiteral("cannot open %1: %2").arg(m_choice.port, reason)));
    }
    const Next then = [this, testMode, next](int status) {
        if (status != kDone)
            m_recorder.attemptFailed(m_choice.port, m_line.rate(), testMode, m_lastError);
        next(status);
    };
    if (!m_inv.autoBaud)
        return connectAt(m_choice.baud, then);
    // The rate tried first is the one given or remembered, then the table's.
    m_rates = {m_choice.baud};
    for (int i = 0; i < kBaudRateCount; ++i) {
        if (baudRateAt(i) != m_choice.baud)
            m_rates << baudRateAt(i);
    }
    scan(0, m_line.session().stats(), then);
}

void DeviceRun::connectAt(qint32 rate, Next next)
{
    m_line.setRate(rate);
    const LinkStats from = m_line.session().stats();
    m_line.request(ReqProbe, 0, Stop::AtOnce, [this, from, next](Outcome o) {
        next(identified(o) ? kDone : failed(o, ReqProbe, from));
    });
}

void DeviceRun::scan(int index, const LinkStats &from, Next next)
{
    if (index >= m_rates.size())
        return next(
            fail(kDeviceFault, QStringLiteral("no transmitter at any of the seven rates (%1)")
                                   .arg(m_line.whyUnanswered(ReqProbe, from))));
    const qint32 rate = m_rates.at(index);
    m_line.setRate(rate);
    m_out.progress(QStringLiteral("trying %1 Bd").arg(rate));
    m_line.exchange(ReqProbe, 0, Stop::AtOnce, [this, index, from, next](Outcome o) {
        if (identified(o))
            return next(kDone);
        if (o == Outcome::PortLost || o == Outcome::Interrupted)
            return next(failed(o, ReqProbe, from));
        scan(index + 1, from, next);
    });
}

// Tells what a probe that settled identified; false when it did not.
bool DeviceRun::identified(Outcome o)
{
    if (o != Outcome::Settled || !m_line.identity())
        return false;
    Identity identity = *m_line.identity();
    // As given: the serial-port library shortens /dev/ paths.
    identity.port = m_choice.port;
    Session &s = m_line.session();
    // A station learned in test mode serves unless one is given.
    if (m_inv.stationGiven || identity.station < 0)
        s.setStation(quint8(m_inv.station));
    m_out.event(identifiedEvent(identity, s.lastRequest()));
    m_recorder.connected(identity, identText(identity, s.lastRequest()), s.station());
    return true;
}

// The order mode decides which register holds which quantity, so it is
// known before the first reading.
void DeviceRun::learnOrder(Next next)
{
    const LinkStats from = m_line.session().stats();
    m_line.request(ReqReadOrder, 0, Stop::AtOnce, [this, from, next](Outcome o) {
        next(o == Outcome::Settled ? kDone : failed(o, ReqReadOrder, from));
    });
}

void DeviceRun::readings(Next next)
{
    Session &s = m_line.session();
    if (m_inv.temperature)
        s.setCheck(Quantity::Temperature, *m_inv.temperature);
    if (m_inv.humidity)
        s.setCheck(Quantity::Humidity, *m_inv.humidity);
    m_firstTick = s.ticks();
    m_taken = 0;
    m_failures = 0;
    readingAt(0, next);
}

void DeviceRun::readingAt(int index, Next next)
{
    if (m_inv.count != 0 && index >= m_inv.count) {
        if (m_failures > 0)
            return next(fail(
                kCheckFailed,
                QStringLiteral("check failed at %1 of %2 readings").arg(m_failures).arg(m_taken)));
        return next(kDone);
    }
    const quint64 due = m_firstTick + quint64(index) * quint64(m_inv.intervalTicks);
    m_line.waitUntil(due, Stop::AtOnce, [this, index, next](Outcome o) {
        if (o != Outcome::Settled)
            return next(failed(o, ReqNone, LinkStats()));
        readOnce(index, [this, index, next](int status) {
            if (status != kDone)
                return next(status);
            readingAt(index + 1, next);
        });
    });
}

void DeviceRun::readOnce(int index, Next next)
{
    m_out.progress(m_inv.count == 0
                       ? QStringLiteral("reading %1").arg(index + 1)
                       : QStringLiteral("reading %1 of %2").arg(index + 1).arg(m_inv.count));
    const LinkStats from = m_line.session().stats();
    m_line.request(ReqReadBoth, 0, Stop::AtOnce, [this, from, next](Outcome o) {
        Session &s = m_line.session();
        if (o == Outcome::TimedOut && s.stats().bytesRead == from.bytesRead)
            return next(fail(kDeviceFault, stationSilent(ReqReadBoth, from)));
        if (o != Outcome::Settled)
            return next(failed(o, ReqReadBoth, from));
        if (!m_line.measurement())
            return next(fail(kDeviceFault,
                             QStringLiteral("read-both: no usable answer (not from station %1, "
                                            "or no value in range)")
                                 .arg(s.station())));
        const Measurement m = *m_line.measurement();
        m_out.event(readingEvent(s.station(), m));
        m_recorder.measured(m);
        bool passed = true;
        for (const Quantity q : {Quantity::Temperature, Quantity::Humidity}) {
            if (m_inv.command != Command::Check || !s.check(q).on)
                continue;
            m_out.event(checkEvent(s.station(), q, m, s.check(q)));
            passed = passed && checkPassed(q, m);
        }
        ++m_taken;
        m_failures += passed ? 0 : 1;
        next(kDone);
    });
}

void DeviceRun::readParameters(Next next)
{
    m_values = {};
    readParameter(0, [this, next](int status) {
        const auto any = [](const auto &v) {
            return bool(v);
        };
        if (std::any_of(m_values.begin(), m_values.end(), any))
            m_out.event(paramsEvent(m_values));
        m_recorder.parametersRead(m_values);
        next(status);
    });
}

void DeviceRun::readParameter(int index, Next next)
{
    if (index >= kParameterCount)
        return next(kDone);
    const Parameter p = Parameter(index);
    const qint32 code = readCodeOf(p);
    const LinkStats from = m_line.session().stats();
    m_line.request(code, 0, Stop::AtOnce, [this, p, index, code, from, next](Outcome o) {
        if (o == Outcome::Settled && m_line.parameter(p)) {
            m_values[size_t(index)] = *m_line.parameter(p);
            return readParameter(index + 1, next);
        }
        if (o == Outcome::Settled)
            return next(fail(kDeviceFault, QStringLiteral("%1: no usable answer")
                                               .arg(QLatin1String(requestSpec(code)->name))));
        next(failed(o, code, from));
    });
}

// The device answered the identification, which goes to any station: a
// silent station is most likely another address than the one asked.
QString DeviceRun::stationSilent(qint32 code, const LinkStats &from) const
{
    return QStringLiteral("%1; station %2 does not answer although the device answered the "
                          "identification: `movra params` shows the station address it has")
        .arg(m_line.whyUnanswered(code, from))
        .arg(m_line.session().station());
}

int DeviceRun::failed(Outcome outcome, qint32 code, const LinkStats &from)
{
    const QString what = code != ReqNone ? QLatin1String(requestSpec(code)->name) : QString();
    switch (outcome) {
    case Outcome::Settled:
        break;
    case Outcome::TimedOut:
        return fail(kDeviceFault, m_line.whyUnanswered(code, from));
    case Outcome::Rejected:
        return fail(kDeviceFault,
                    QStringLiteral("%1: the device's echo differs from the request").arg(what));
    case Outcome::PortLost:
        return fail(kPortFault,
                    QStringLiteral("lost the port %1: %2").arg(m_choice.port, m_line.lostReason()));
    case Outcome::Interrupted:
        return fail(interruptStatus(), QStringLiteral("interrupted"));
    }
    return kDone;
}

int DeviceRun::fail(int status, const QString &message)
{
    m_lastError = message;
    return m_out.error(status, message);
}

} // namespace movra::cli
