// The steps of a calibration, in the order they run.
#include "calibrate/CalibrationRun.h"

#include "link/Protocol.h"
#include "link/Tenths.h"

namespace movra::calibrate {

namespace {
Parameter correctionOf(Quantity q)
{
    return q == Quantity::Temperature ? Parameter::TempCorrection : Parameter::HumiCorrection;
}

bool within(qint64 value, const Target &t)
{
    Check c;
    c.on = true;
    c.reference = t.reference;
    c.tolerance = quint64(qMax(0, t.tolerance));
    return judge(value, c).pass;
}
} // namespace

void CalibrationRun::parameterSettled()
{
    if (++m_step < kParameterCount) {
        ask(readCodeOf(Parameter(m_step)));
        return;
    }
    emit parametersRead();
    for (const Quantity q : kBoth) {
        const auto value = m_params[size_t(correctionOf(q))];
        if (on(q) && !value) {
            finish(Outcome::DeviceFault,
                   QStringLiteral("%1: no usable answer")
                       .arg(QLatin1String(requestSpec(readCodeOf(correctionOf(q)))->name)));
            return;
        }
        m_results[size_t(q)].correctionBefore = value.value_or(0);
    }
    beginSettling();
}

void CalibrationRun::beginSettling()
{
    m_waitStartTick = m_session.ticks();
    if (m_plan.settleSeconds <= 0) {
        for (const Quantity q : kBoth)
            m_results[size_t(q)].stableAfterMs = 0;
        beginSampling(Phase::AsFound);
        return;
    }
    for (const Quantity q : kBoth) {
        m_series[size_t(q)].clear();
        const trend::StabilityRule rule{qint64(m_plan.settleSeconds) * 1000,
                                        m_plan.bands[size_t(q)]};
        m_trackers[size_t(q)].setRule(rule, m_series[size_t(q)]);
    }
    setPhase(Phase::Settling);
    m_nextReadingTick = m_session.ticks();
}

void CalibrationRun::beginSampling(Phase phase)
{
    m_taken = 0;
    m_sum = {};
    for (const Quantity q : kBoth)
        m_results[size_t(q)].samples = 0;
    setPhase(phase);
    // The first right away, after a stability wait on its usual beat.
    if (phase != Phase::AsFound || m_plan.settleSeconds <= 0)
        m_nextReadingTick = m_session.ticks();
}

void CalibrationRun::readingSettled()
{
    const bool usable = m_measurement &&
                        (!on(Quantity::Temperature) || m_measurement->hasTemperature) &&
                        (!on(Quantity::Humidity) || m_measurement->hasHumidity);
    if (!usable) {
        finish(Outcome::DeviceFault,
               QStringLiteral("read-both: no usable answer (not from station %1, or no value "
                              "in range)")
                   .arg(m_session.station()));
        return;
    }
    const Measurement m = *m_measurement;
    emit reading(m);
    if (m_phase == Phase::Settling) {
        settlingReading(m);
        return;
    }
    ++m_taken;
    for (const Quantity q : kBoth) {
        if (!on(q))
            continue;
        const qint64 v = q == Quantity::Temperature ? qint64(m.temperature) : qint64(m.humidity);
        m_sum[size_t(q)] += v;
        Result &r = m_results[size_t(q)];
        r.samples = m_taken;
        if (m_phase == Phase::Verifying && !within(v, r.target))
            ++r.outside;
    }
    if (m_taken >= m_plan.samples)
        samplesTaken();
}

void CalibrationRun::settlingReading(const Measurement &m)
{
    bool all = true;
    for (const Quantity q : kBoth) {
        if (!on(q))
            continue;
        const double v = q == Quantity::Temperature ? m.temperature / 10.0 : m.humidity / 10.0;
        m_series[size_t(q)].append(nowMs(), v);
        m_trackers[size_t(q)].update(m_series[size_t(q)]);
        const trend::Stability &s = m_trackers[size_t(q)].current();
        emit stabilityChanged(q, s);
        all = all && s.isStable();
    }
    if (!all)
        return;
    const qint64 after = qint64(m_session.ticks() - m_waitStartTick) * timing::kTickMs;
    for (const Quantity q : kBoth)
        m_results[size_t(q)].stableAfterMs = after;
    beginSampling(Phase::AsFound);
}

void CalibrationRun::samplesTaken()
{
    for (const Quantity q : kBoth) {
        if (!on(q))
            continue;
        Result &r = m_results[size_t(q)];
        const double mean = double(m_sum[size_t(q)]) / m_taken;
        (m_phase == Phase::AsFound ? r.asFound : r.asLeft) = mean;
        if (m_phase == Phase::Verifying)
            r.pass = r.outside == 0;
        emit resultChanged(q);
    }
    if (m_phase == Phase::AsFound)
        proposeCorrections();
    else
        verified();
}

void CalibrationRun::proposeCorrections()
{
    QStringList beyond;
    for (const Quantity q : kBoth) {
        if (!on(q))
            continue;
        Result &r = m_results[size_t(q)];
        qint32 value = 0;
        r.outOfRange = !proposeCorrection(r.correctionBefore, r.target.reference, m_sum[size_t(q)],
                                          m_taken, &value);
        r.correctionAfter = value;
        if (r.outOfRange)
            beyond << QStringLiteral("%1 correction %2 is outside -10.0..10.0")
                          .arg(quantityName(q), tenthsText(value));
        emit resultChanged(q);
    }
    if (!beyond.isEmpty()) {
        finish(Outcome::OutOfRange, beyond.join(QStringLiteral("; ")));
        return;
    }
    if (m_plan.dryRun) {
        finish(Outcome::DryRun);
        return;
    }
    setPhase(Phase::Writing);
    m_step = -1;
    writeNext();
}

void CalibrationRun::writeNext()
{
    while (++m_step < kQuantities) {
        const Quantity q = kBoth[size_t(m_step)];
        if (on(q)) {
            ask(writeCodeOf(correctionOf(q)), *m_results[size_t(q)].correctionAfter);
            return;
        }
    }
    setPhase(Phase::ReadingBack);
    m_params[size_t(Parameter::TempCorrection)].reset();
    m_params[size_t(Parameter::HumiCorrection)].reset();
    m_step = -1;
    readBackNext();
}

void CalibrationRun::readBackNext()
{
    if (m_step >= 0) {
        const Quantity q = kBoth[size_t(m_step)];
        const auto held = m_params[size_t(correctionOf(q))];
        const qint32 written = *m_results[size_t(q)].correctionAfter;
        if (held != written) {
            finish(Outcome::ReadBackDiffers,
                   QStringLiteral("%1 correction reads back as %2, written %3")
                       .arg(quantityName(q), held ? tenthsText(*held) : QStringLiteral("nothing"),
                            tenthsText(written)));
            return;
        }
    }
    while (++m_step < kQuantities) {
        const Quantity q = kBoth[size_t(m_step)];
        if (on(q)) {
            ask(readCodeOf(correctionOf(q)));
            return;
        }
    }
    emit parametersRead();
    beginSampling(Phase::Verifying);
}

void CalibrationRun::verified()
{
    QStringList outside;
    for (const Quantity q : kBoth) {
        const Result &r = m_results[size_t(q)];
        if (on(q) && !r.pass)
            outside << QStringLiteral("%1 of %2 %3 readings outside %4 of %5")
                           .arg(r.outside)
                           .arg(r.samples)
                           .arg(quantityName(q), tenthsText(r.target.tolerance),
                                tenthsText(r.target.reference));
    }
    if (outside.isEmpty())
        finish(Outcome::Passed);
    else
        finish(Outcome::VerifyFailed,
               QStringLiteral("verification: ") + outside.join(QStringLiteral("; ")));
}

} // namespace movra::calibrate
