// identify, read, check and params: connecting, readings and their
// judgement, and the parameters read.
#include "cli/Commands.h"
#include "cli/Events.h"
#include "cli/Interrupt.h"

namespace movra::cli {

using Outcome = Line::Outcome;
using Stop = Line::Stop;

DeviceRun::DeviceRun(const Invocation &inv, const LineChoice &choice, Output &out, RecordSink &sink)
    : m_inv(inv), m_choice(choice), m_out(out), m_sink(sink),
      m_line(inv.timeoutMs, !inv.testPassword.isEmpty())
{
}

int DeviceRun::run()
{
    int status = connect();
    if (status != kDone)
        return status;
    switch (m_inv.command) {
    case Command::Read:
    case Command::Check:
        status = readings();
        break;
    case Command::Params: {
        ParameterValues values;
        status = readParameters(&values);
        break;
    }
    case Command::Write:
        status = write();
        break;
    default:
        break;
    }
    const bool lost = status == kPortFault;
    m_sink.disconnected(lost, lost                ? m_line.lostReason()
                              : interruptSignal() ? QStringLiteral("interrupted")
                                                  : QString());
    m_line.close();
    return status;
}

int DeviceRun::connect()
{
    QString reason;
    const bool testMode = !m_inv.testPassword.isEmpty();
    if (!m_line.open(m_choice.port, m_choice.baud, &reason)) {
        m_sink.connectFailed(m_choice.port, m_choice.baud, testMode, reason);
        return fail(kPortFault, QStringLiteral("cannot open %1: %2").arg(m_choice.port, reason));
    }
    const int status = m_inv.autoBaud ? scan() : connectAt(m_choice.baud);
    if (status != kDone)
        m_sink.connectFailed(m_choice.port, m_line.rate(), testMode, m_lastError);
    return status;
}

int DeviceRun::connectAt(qint32 rate)
{
    m_line.setRate(rate);
    const LinkStats from = m_line.session().stats();
    const Outcome o = m_line.request(ReqProbe, 0, Stop::AtOnce);
    if (o == Outcome::Settled && m_line.identity()) {
        announce(*m_line.identity());
        return kDone;
    }
    return failed(o, ReqProbe, from);
}

// The rate tried first is the one given or remembered, then the table's.
int DeviceRun::scan()
{
    QVector<qint32> rates{m_choice.baud};
    for (int i = 0; i < kBaudRateCount; ++i) {
        if (baudRateAt(i) != m_choice.baud)
            rates << baudRateAt(i);
    }
    const LinkStats from = m_line.session().stats();
    for (const qint32 rate : rates) {
        m_line.setRate(rate);
        m_out.progress(QStringLiteral("trying %1 Bd").arg(rate));
        const Outcome o = m_line.exchange(ReqProbe, 0, Stop::AtOnce);
        if (o == Outcome::Settled && m_line.identity()) {
            announce(*m_line.identity());
            return kDone;
        }
        if (o == Outcome::PortLost || o == Outcome::Interrupted)
            return failed(o, ReqProbe, from);
    }
    return fail(kDeviceFault, QStringLiteral("no transmitter at any of the seven rates (%1)")
                                  .arg(m_line.whyUnanswered(ReqProbe, from)));
}

void DeviceRun::announce(Identity identity)
{
    // As given: the serial-port library shortens /dev/ paths.
    identity.port = m_choice.port;
    Session &s = m_line.session();
    // A station learned in test mode serves unless one is given.
    if (m_inv.stationGiven || identity.station < 0)
        s.setStation(quint8(m_inv.station));
    m_out.event(identifiedEvent(identity, s.lastRequest()));
    m_sink.connected(identity, identText(identity, s.lastRequest()));
}

int DeviceRun::readings()
{
    Session &s = m_line.session();
    if (m_inv.temperature)
        s.setCheck(Quantity::Temperature, *m_inv.temperature);
    if (m_inv.humidity)
        s.setCheck(Quantity::Humidity, *m_inv.humidity);
    const quint64 start = s.ticks();
    int taken = 0;
    int failures = 0;
    for (int i = 0; m_inv.count == 0 || i < m_inv.count; ++i) {
        const quint64 due = start + quint64(i) * quint64(m_inv.intervalTicks);
        const Outcome o = m_line.waitUntil(due, Stop::AtOnce);
        if (o != Outcome::Settled)
            return failed(o, ReqNone, LinkStats());
        bool passed = true;
        const int status = readOnce(i, &passed);
        if (status != kDone)
            return status;
        ++taken;
        failures += passed ? 0 : 1;
    }
    if (failures > 0)
        return fail(kCheckFailed,
                    QStringLiteral("check failed at %1 of %2 readings").arg(failures).arg(taken));
    return kDone;
}

int DeviceRun::readOnce(int index, bool *passed)
{
    m_out.progress(m_inv.count == 0
                       ? QStringLiteral("reading %1").arg(index + 1)
                       : QStringLiteral("reading %1 of %2").arg(index + 1).arg(m_inv.count));
    Session &s = m_line.session();
    const LinkStats from = s.stats();
    const Outcome o = m_line.request(ReqReadBoth, 0, Stop::AtOnce);
    if (o != Outcome::Settled)
        return failed(o, ReqReadBoth, from);
    if (!m_line.measurement())
        return fail(kDeviceFault,
                    QStringLiteral("read-both: no usable answer (not from station %1, "
                                   "or no value in range)")
                        .arg(s.station()));
    const Measurement m = *m_line.measurement();
    m_out.event(readingEvent(s.station(), m));
    m_sink.reading(m);
    for (const Quantity q : {Quantity::Temperature, Quantity::Humidity}) {
        if (m_inv.command != Command::Check || !s.check(q).on)
            continue;
        m_out.event(checkEvent(s.station(), q, m, s.check(q)));
        *passed = *passed && checkPassed(q, m);
    }
    return kDone;
}

int DeviceRun::readParameters(ParameterValues *values)
{
    *values = {};
    int status = kDone;
    for (int i = 0; i < kParameterCount && status == kDone; ++i) {
        const Parameter p = Parameter(i);
        const qint32 code = readCodeOf(p);
        const LinkStats from = m_line.session().stats();
        const Outcome o = m_line.request(code, 0, Stop::AtOnce);
        if (o == Outcome::Settled && m_line.parameter(p))
            (*values)[size_t(i)] = *m_line.parameter(p);
        else if (o == Outcome::Settled)
            status = fail(
                kDeviceFault,
                QStringLiteral("%1: no usable answer").arg(QLatin1String(requestSpec(code)->name)));
        else
            status = failed(o, code, from);
    }
    const bool any = std::any_of(values->begin(), values->end(), [](auto v) { return bool(v); });
    if (any)
        m_out.event(paramsEvent(*values));
    m_sink.parametersRead(*values);
    return status;
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
    m_out.error(status, message);
    return status;
}

} // namespace movra::cli
