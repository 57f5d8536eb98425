// calibrate: the procedure of src/calibrate on the command's line, its
// events, and what Ctrl+C leaves behind.
#include "calibrate/CalibrationRecord.h"
#include "calibrate/CalibrationRun.h"
#include "cli/Commands.h"
#include "cli/Events.h"
#include "config/SettingIni.h"
#include "link/Tenths.h"
#include "trend/StabilitySettings.h"

#include <cmath>

namespace movra::cli {

using calibrate::CalibrationRun;
using calibrate::Outcome;

namespace {

calibrate::Plan planOf(const Invocation &inv, Line &line)
{
    calibrate::Plan plan;
    auto &temp = plan.targets[size_t(Quantity::Temperature)];
    auto &humi = plan.targets[size_t(Quantity::Humidity)];
    temp = {bool(inv.calTemp), inv.calTemp.value_or(0), inv.tolTemp};
    humi = {bool(inv.calHumi), inv.calHumi.value_or(0), inv.tolHumi};
    plan.samples = inv.samples;
    plan.intervalTicks = inv.intervalTicks;
    plan.settleSeconds = inv.settleSeconds;
    plan.maxWaitSeconds = inv.maxWaitSeconds;
    plan.dryRun = inv.dryRun;
    const auto bands =
        trend::StabilitySettings::load(config::stationIniPath(config::SettingIni::defaultPath()))
            .bounded();
    plan.bands = {bands.temperatureBand, bands.humidityBand};
    plan.timeoutTicks = [&line](qint32 code) {
        return line.timeoutTicks(code);
    };
    plan.attempts = Line::kAttempts;
    return plan;
}

// Tenths as a decimal with up to three places: means need more than one.
QJsonValue meanValue(const std::optional<double> &tenths)
{
    if (!tenths)
        return QJsonValue(QJsonValue::Null);
    return QJsonValue(std::round(*tenths * 100.0) / 1000.0);
}

QString meanText(const std::optional<double> &tenths)
{
    return tenths ? QString::number(*tenths / 10.0, 'f', 2) : QStringLiteral("-");
}

} // namespace

// The serial number, when there is one, is added by the unit's output.
Event calibrationEvent(bool hasSerial, int station, Quantity q, const calibrate::Result &r,
                       bool dryRun)
{
    Event e("calibration");
    e.text("time", isoNow()).number("station", station);
    if (!hasSerial)
        e.null("serial");
    e.text("quantity", calibrate::quantityName(q)).tenths("reference", r.target.reference);
    e.value(QStringLiteral("as_found"), meanValue(r.asFound));
    e.tenths("correction_before", r.correctionBefore);
    if (r.correctionAfter)
        e.tenths("correction_after", *r.correctionAfter);
    else
        e.null("correction_after");
    e.value(QStringLiteral("as_left"), dryRun ? QJsonValue(QJsonValue::Null) : meanValue(r.asLeft));
    e.tenths("tolerance", r.target.tolerance).number("samples", r.samples);
    if (r.stableAfterMs >= 0)
        e.value(QStringLiteral("stable_after_s"), QJsonValue(double(r.stableAfterMs) / 1000.0));
    else
        e.null("stable_after_s");
    e.flag("written", r.written).flag("pass", r.pass);
    const QString after = r.correctionAfter ? tenthsText(*r.correctionAfter) : QStringLiteral("-");
    e.line = QStringLiteral("%1: reference %2, as found %3, correction %4 -> %5 (%6), as left %7, "
                            "tolerance %8, %9 samples: %10")
                 .arg(calibrate::quantityName(q), tenthsText(r.target.reference),
                      meanText(r.asFound), tenthsText(r.correctionBefore), after,
                      r.written ? QStringLiteral("written")
                      : dryRun  ? QStringLiteral("dry run")
                                : QStringLiteral("not written"),
                      meanText(r.asLeft), tenthsText(r.target.tolerance))
                 .arg(r.samples)
                 .arg(r.pass ? QStringLiteral("pass") : QStringLiteral("FAIL"));
    return e;
}

void DeviceRun::calibrate(Next next)
{
    Session &s = m_line.session();
    m_calibration = std::make_shared<CalibrationRun>(s, planOf(m_inv, m_line));
    CalibrationRun &run = *m_calibration;
    QObject::connect(&run, &CalibrationRun::parametersRead, &run, [this, &run] {
        if (run.phase() != CalibrationRun::Phase::Parameters)
            return;
        ParameterValues values;
        for (int i = 0; i < kParameterCount; ++i)
            values[size_t(i)] = run.parameters()[size_t(i)];
        m_out.event(paramsEvent(values));
        m_recorder.parametersRead(values);
    });
    QObject::connect(&run, &CalibrationRun::reading, &run, [this](const Measurement &m) {
        m_out.event(readingEvent(m_line.session().station(), m));
        m_recorder.measured(m);
    });
    QObject::connect(&run, &CalibrationRun::correctionWritten, &run,
                     [this](Quantity q, qint32 value, bool confirmed) {
                         const Parameter p = q == Quantity::Temperature ? Parameter::TempCorrection
                                                                        : Parameter::HumiCorrection;
                         m_out.event(writtenEvent(p, value, true, confirmed));
                         m_recorder.written(p, value, confirmed);
                     });
    QObject::connect(&run, &CalibrationRun::phaseChanged, &run,
                     [this](CalibrationRun::Phase phase) {
                         static const char *const names[] = {"",
                                                             "reading the parameters",
                                                             "waiting until stable",
                                                             "as found",
                                                             "writing",
                                                             "reading back",
                                                             "verifying",
                                                             ""};
                         if (*names[int(phase)])
                             m_out.progress(QLatin1String(names[int(phase)]));
                     });
    run.start();
    m_line.drive([&run] { run.tick(); },
                 [&run] { return run.phase() == CalibrationRun::Phase::Done; },
                 [&run] { run.cancel(); }, [this, next] { next(calibrated(*m_calibration)); });
}

int DeviceRun::calibrated(const calibrate::CalibrationRun &run)
{
    const Outcome o = run.outcome();
    for (const records::Calibration &c : calibrate::recordsOf(run)) {
        m_out.event(calibrationEvent(!m_out.serial().isEmpty(), m_line.session().station(),
                                     c.quantity, run.result(c.quantity), o == Outcome::DryRun));
        m_recorder.calibrated(c);
    }
    switch (o) {
    case Outcome::Passed:
    case Outcome::DryRun:
        return kDone;
    case Outcome::Cancelled:
        return failed(Line::Outcome::Interrupted, ReqNone, LinkStats());
    case Outcome::PortLost:
        return failed(Line::Outcome::PortLost, ReqNone, LinkStats());
    case Outcome::DeviceFault:
        return fail(kDeviceFault, run.failure());
    default:
        return fail(kCheckFailed, run.failure());
    }
}

} // namespace movra::cli
