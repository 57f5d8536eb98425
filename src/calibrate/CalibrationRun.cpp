#include "calibrate/CalibrationRun.h"

#include "link/Requests.h"

namespace movra::calibrate {

CalibrationRun::CalibrationRun(Session &session, const Plan &plan, QObject *parent)
    : QObject(parent), m_session(session), m_plan(plan)
{
    for (const Quantity q : kBoth)
        m_results[size_t(q)].target = plan.target(q);
    connect(&session, &Session::replySettled, this, &CalibrationRun::onSettled);
    connect(&session, &Session::requestTimedOut, this, &CalibrationRun::onTimedOut);
    connect(&session, &Session::writeRejected, this, &CalibrationRun::onRejected);
    connect(&session, &Session::measured, this, [this](const Measurement &m) {
        if (m_code == ReqReadBoth)
            m_measurement = m;
    });
    connect(&session, &Session::parameterRead, this, [this](Parameter p, qint32 value) {
        if (m_phase == Phase::Parameters || m_phase == Phase::ReadingBack)
            m_params[size_t(p)] = value;
    });
    connect(&session, &Session::portFailed, this, [this](const QString &reason) {
        finish(Outcome::PortLost, QStringLiteral("lost the port: %1").arg(reason));
    });
    connect(&session, &Session::disconnected, this,
            [this] { finish(Outcome::PortLost, QStringLiteral("disconnected")); });
}

void CalibrationRun::start()
{
    if (m_phase != Phase::Idle)
        return;
    setPhase(Phase::Parameters);
    m_step = 0;
    ask(readCodeOf(Parameter(m_step)));
}

void CalibrationRun::setPhase(Phase phase)
{
    m_phase = phase;
    emit phaseChanged(phase);
}

void CalibrationRun::ask(qint32 code, qint32 value)
{
    if (m_code != code || m_value != value)
        m_attempt = 0;
    ++m_attempt;
    m_code = code;
    m_value = value;
    m_measurement.reset();
    const int timeout = m_plan.timeoutTicks ? m_plan.timeoutTicks(code) : 110;
    m_session.request(code, value, timeout);
}

void CalibrationRun::tick()
{
    if (m_phase == Phase::Idle || m_phase == Phase::Done || m_code != ReqNone)
        return;
    const quint64 now = m_session.ticks();
    if (m_phase == Phase::Settling &&
        now - m_waitStartTick > quint64(m_plan.maxWaitSeconds) * timing::kSecondTicks) {
        finish(Outcome::Unstable,
               QStringLiteral("not stable within %1 s").arg(m_plan.maxWaitSeconds));
        return;
    }
    if (now < m_nextReadingTick)
        return;
    m_nextReadingTick += quint64(qMax(1, m_plan.intervalTicks));
    ask(ReqReadBoth);
}

void CalibrationRun::cancel()
{
    if (m_phase == Phase::Done)
        return;
    const bool writing = m_code >= ReqWriteTempCorrection && m_code <= ReqWriteHumiCorrection;
    if (writing)
        m_cancelAfterReply = true;
    else
        finish(Outcome::Cancelled, QStringLiteral("interrupted"));
}

void CalibrationRun::onSettled(qint32 code)
{
    if (code != m_code || m_phase == Phase::Done)
        return;
    m_code = ReqNone;
    switch (m_phase) {
    case Phase::Parameters:
        parameterSettled();
        break;
    case Phase::Settling:
    case Phase::AsFound:
    case Phase::Verifying:
        readingSettled();
        break;
    case Phase::Writing: {
        const Quantity q =
            code == ReqWriteTempCorrection ? Quantity::Temperature : Quantity::Humidity;
        m_results[size_t(q)].written = true;
        emit correctionWritten(q, m_value, true);
        emit resultChanged(q);
        if (m_cancelAfterReply)
            finish(Outcome::Cancelled, QStringLiteral("interrupted"));
        else
            writeNext();
        break;
    }
    case Phase::ReadingBack:
        readBackNext();
        break;
    case Phase::Idle:
    case Phase::Done:
        break;
    }
}

void CalibrationRun::onTimedOut(qint32 code)
{
    if (code != m_code || m_phase == Phase::Done)
        return;
    if (m_attempt < m_plan.attempts && !m_cancelAfterReply) {
        ask(code, m_value);
        return;
    }
    m_code = ReqNone;
    if (m_phase == Phase::Writing) {
        const Quantity q =
            code == ReqWriteTempCorrection ? Quantity::Temperature : Quantity::Humidity;
        emit correctionWritten(q, m_value, false);
    }
    finish(Outcome::DeviceFault, QStringLiteral("%1: no answer after %2 tries")
                                     .arg(QLatin1String(requestSpec(code)->name))
                                     .arg(m_attempt));
}

void CalibrationRun::onRejected(qint32 code)
{
    if (code != m_code || m_phase == Phase::Done)
        return;
    m_code = ReqNone;
    const Quantity q = code == ReqWriteTempCorrection ? Quantity::Temperature : Quantity::Humidity;
    emit correctionWritten(q, m_value, false);
    finish(Outcome::DeviceFault, QStringLiteral("%1: the device's echo differs from the request")
                                     .arg(QLatin1String(requestSpec(code)->name)));
}

void CalibrationRun::finish(Outcome outcome, const QString &failure)
{
    if (m_phase == Phase::Done)
        return;
    m_code = ReqNone;
    m_outcome = outcome;
    m_failure = failure;
    setPhase(Phase::Done);
    emit finished(outcome);
}

} // namespace movra::calibrate
