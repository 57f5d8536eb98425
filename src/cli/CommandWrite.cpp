// write: each parameter confirmed by the device's echo, in the order of the
// window's batch (the baud rate last, as the device restarts after it), then
// all five read back and compared.
#include "cli/Commands.h"
#include "cli/Events.h"
#include "cli/Interrupt.h"

#include <tuple>

namespace movra::cli {

using Outcome = Line::Outcome;
using Stop = Line::Stop;

namespace {
QString joinedOrNone(const QStringList &names)
{
    return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
}
} // namespace

int DeviceRun::write()
{
    const std::pair<Parameter, std::optional<qint32>> items[] = {
        {Parameter::TempCorrection, m_inv.tempOffset},
        {Parameter::HumiCorrection, m_inv.humiOffset},
        {Parameter::Order, m_inv.order},
        {Parameter::Address, m_inv.newStation},
        {Parameter::BaudRate, m_inv.newBaud},
    };
    ParameterValues written{};
    QStringList done;
    QStringList notDone;
    int status = kDone;
    // Told after the loop, and only when no interruption is to be told.
    std::optional<std::tuple<Outcome, qint32, LinkStats>> unconfirmed;
    for (const auto &[p, value] : items) {
        if (!value)
            continue;
        const QString key = QLatin1String(parameterKey(p));
        // An interruption lets the item in flight finish, and sends no more.
        if (status != kDone || interruptSignal()) {
            m_out.event(writtenEvent(p, *value, false, false));
            notDone << key;
            continue;
        }
        const qint32 code = writeCodeOf(p);
        const LinkStats from = m_line.session().stats();
        const Outcome o = m_line.request(code, *value, Stop::AfterReply);
        const bool confirmed = o == Outcome::Settled;
        m_out.event(writtenEvent(p, *value, true, confirmed));
        m_sink.written(p, *value, confirmed);
        if (!confirmed) {
            notDone << key;
            unconfirmed = std::make_tuple(o, code, from);
            status = kDeviceFault;
            continue;
        }
        done << key;
        written[size_t(p)] = *value;
        if (p == Parameter::BaudRate)
            status = followNewRate(*value);
    }
    if (interruptSignal())
        return fail(interruptStatus(), QStringLiteral("interrupted; written: %1; not written: %2")
                                           .arg(joinedOrNone(done), joinedOrNone(notDone)));
    if (unconfirmed)
        return failed(std::get<0>(*unconfirmed), std::get<1>(*unconfirmed),
                      std::get<2>(*unconfirmed));
    if (status != kDone)
        return status;
    ParameterValues readBack;
    status = readParameters(&readBack);
    return status != kDone ? status : compare(written, readBack);
}

// The restart went out with the confirmation, at the old rate; once it has
// had its time there, the device is asked again at the new one.
int DeviceRun::followNewRate(qint32 rate)
{
    Session &s = m_line.session();
    const quint64 restarted = s.ticks() + quint64(m_line.timeoutTicks(ReqRestart));
    Outcome o = m_line.waitUntil(restarted, Stop::AfterReply);
    if (o != Outcome::Settled)
        return failed(o, ReqNone, LinkStats());
    m_line.setRate(rate);
    const LinkStats from = s.stats();
    o = m_line.request(ReqProbe, 0, Stop::AfterReply);
    if (o == Outcome::Settled)
        return kDone;
    if (o != Outcome::TimedOut)
        return failed(o, ReqProbe, from);
    return fail(kDeviceFault,
                QStringLiteral("no answer at the new rate %1 Bd after the restart (%2)")
                    .arg(rate)
                    .arg(m_line.whyUnanswered(ReqProbe, from)));
}

int DeviceRun::compare(const ParameterValues &written, const ParameterValues &readBack)
{
    QStringList differ;
    for (int i = 0; i < kParameterCount; ++i) {
        const auto &w = written[size_t(i)];
        const auto &r = readBack[size_t(i)];
        if (!w || (r && *r == *w))
            continue;
        const Parameter p = Parameter(i);
        differ << QStringLiteral("%1 written %2, read %3")
                      .arg(QLatin1String(parameterKey(p)), parameterValueText(p, *w),
                           r ? parameterValueText(p, *r) : QStringLiteral("nothing"));
    }
    if (differ.isEmpty())
        return kDone;
    return fail(kCheckFailed, QStringLiteral("read-back differs: %1").arg(differ.join("; ")));
}

} // namespace movra::cli
