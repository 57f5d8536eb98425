// write: each parameter confirmed by the device's echo, in the order of the
// window's batch (the baud rate last, as the device restarts after it), then
// all five read back and compared.
#include "cli/Commands.h"
#include "cli/Events.h"
#include "cli/Interrupt.h"

#include <tuple>
#include <vector>

namespace movra::cli {

using Outcome = Line::Outcome;
using Stop = Line::Stop;

namespace {
QString joinedOrNone(const QStringList &names)
{
    return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
}
} // namespace

// What a write has done so far, item by item.
struct DeviceRun::Writing
{
    std::vector<std::pair<Parameter, std::optional<qint32>>> items;
    ParameterValues written{};
    QStringList done;
    QStringList notDone;
    int status = kDone;
    // Told at the end, and only when no interruption is to be told.
    std::optional<std::tuple<Outcome, qint32, LinkStats>> unconfirmed;
};

void DeviceRun::write(Next next)
{
    m_writing = std::make_shared<Writing>();
    m_writing->items = {
        {Parameter::TempCorrection, m_inv.tempOffset},
        {Parameter::HumiCorrection, m_inv.humiOffset},
        {Parameter::Order, m_inv.order},
        {Parameter::Address, m_inv.newStation},
        {Parameter::BaudRate, m_inv.newBaud},
    };
    writeItem(0, next);
}

void DeviceRun::writeItem(size_t index, Next next)
{
    Writing &w = *m_writing;
    if (index >= w.items.size())
        return writeEnded(next);
    const auto [p, value] = w.items[index];
    if (!value)
        return writeItem(index + 1, next);
    const QString key = QLatin1String(parameterKey(p));
    // An interruption lets the item in flight finish, and sends no more.
    if (w.status != kDone || interruptSignal()) {
        m_out.event(writtenEvent(p, *value, false, false));
        w.notDone << key;
        return writeItem(index + 1, next);
    }
    const qint32 code = writeCodeOf(p);
    const LinkStats from = m_line.session().stats();
    m_line.request(code, *value, Stop::AfterReply,
                   [this, index, p = p, value = *value, key, code, from, next](Outcome o) {
                       Writing &w = *m_writing;
                       const bool confirmed = o == Outcome::Settled;
                       m_out.event(writtenEvent(p, value, true, confirmed));
                       m_recorder.written(p, value, confirmed);
                       if (!confirmed) {
                           w.notDone << key;
                           w.unconfirmed = std::make_tuple(o, code, from);
                           w.status = kDeviceFault;
                           return writeItem(index + 1, next);
                       }
                       w.done << key;
                       w.written[size_t(p)] = value;
                       if (p != Parameter::BaudRate)
                           return writeItem(index + 1, next);
                       followNewRate(value, [this, index, next](int status) {
                           m_writing->status = status;
                           writeItem(index + 1, next);
                       });
                   });
}

void DeviceRun::writeEnded(Next next)
{
    const Writing &w = *m_writing;
    if (interruptSignal())
        return next(
            fail(interruptStatus(), QStringLiteral("interrupted; written: %1; not written: %2")
                                        .arg(joinedOrNone(w.done), joinedOrNone(w.notDone))));
    if (w.unconfirmed)
        return next(failed(std::get<0>(*w.unconfirmed), std::get<1>(*w.unconfirmed),
                           std::get<2>(*w.unconfirmed)));
    if (w.status != kDone)
        return next(w.status);
    readParameters([this, next](int status) {
        next(status != kDone ? status : compare(m_writing->written, m_values));
    });
}

// The restart went out with the confirmation, at the old rate; once it has
// had its time there, the device is asked again at the new one.
void DeviceRun::followNewRate(qint32 rate, Next next)
{
    const quint64 restarted = m_line.session().ticks() + quint64(m_line.timeoutTicks(ReqRestart));
    m_line.waitUntil(restarted, Stop::AfterReply, [this, rate, next](Outcome o) {
        if (o != Outcome::Settled)
            return next(failed(o, ReqNone, LinkStats()));
        m_line.setRate(rate);
        const LinkStats from = m_line.session().stats();
        m_line.request(ReqProbe, 0, Stop::AfterReply, [this, rate, from, next](Outcome o) {
            if (o == Outcome::Settled)
                return next(kDone);
            if (o != Outcome::TimedOut)
                return next(failed(o, ReqProbe, from));
            next(fail(kDeviceFault,
                      QStringLiteral("no answer at the new rate %1 Bd after the restart (%2)")
                          .arg(rate)
                          .arg(m_line.whyUnanswered(ReqProbe, from))));
        });
    });
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
