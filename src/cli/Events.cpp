#include "cli/Events.h"

#include "link/Protocol.h"
#include "link/Tenths.h"

namespace movra::cli {

namespace {
const QString kDegrees = QStringLiteral(" °C");
const QString kPercent = QStringLiteral(" %RH");

bool isTenths(Parameter p)
{
    return p == Parameter::TempCorrection || p == Parameter::HumiCorrection;
}

// A parameter's value under its key: tenths as decimals, the order by name.
void addValue(Event &e, const char *key, Parameter p, qint32 value)
{
    if (isTenths(p))
        e.tenths(key, value);
    else if (p == Parameter::Order)
        e.text(key, orderName(value));
    else
        e.number(key, value);
}

// A value in tenths under `key`, or null without one; its text, or "-".
QString tenthsOrNull(Event &e, const char *key, bool has, qint64 value)
{
    if (!has) {
        e.null(key);
        return QStringLiteral("-");
    }
    e.tenths(key, value);
    return tenthsText(value);
}

} // namespace

QString parameterValueText(Parameter p, qint32 value)
{
    switch (p) {
    case Parameter::Address:
        return QString::number(value);
    case Parameter::BaudRate:
        return QStringLiteral("%1 Bd").arg(value);
    case Parameter::TempCorrection:
        return tenthsText(value) + kDegrees;
    case Parameter::HumiCorrection:
        return tenthsText(value) + kPercent;
    case Parameter::Order:
        break;
    }
    return orderName(value);
}

bool checkPassed(Quantity q, const Measurement &m)
{
    return q == Quantity::Temperature ? m.hasTemperature && m.temperatureJudgement.pass
                                      : m.hasHumidity && m.humidityJudgement.pass;
}

const char *parameterKey(Parameter p)
{
    static const char *const keys[] = {"station", "baud", "temp_offset", "humi_offset", "order"};
    return keys[int(p)];
}

QString orderName(qint32 mode)
{
    static const char *const names[] = {"hardware", "humidity-first", "temperature-first"};
    return mode >= 0 && mode < kOrderModes ? QLatin1String(names[mode])
                                           : QStringLiteral("mode-%1").arg(mode);
}

QString identText(const Identity &identity, const QByteArray &request)
{
    QByteArray reply = identity.reply;
    if (!request.isEmpty() && reply.startsWith(request))
        reply.remove(0, request.size());
    if (identity.testMode)
        return hexText(reply);
    QStringList parts;
    for (const QByteArray &part : reply.split('\0')) {
        if (!part.isEmpty())
            parts << QString::fromUtf8(part);
    }
    return parts.join(QLatin1Char(' '));
}

Event identifiedEvent(const Identity &identity, const QByteArray &request)
{
    const QString ident = identText(identity, request);
    Event e("identified");
    e.text("time", isoNow()).text("port", identity.port).number("baud", identity.baudRate);
    QString where = QStringLiteral("%1 at %2 Bd").arg(identity.port).arg(identity.baudRate);
    if (identity.station >= 0) {
        e.number("station", identity.station);
        where += QStringLiteral(", station %1").arg(identity.station);
    }
    e.text("ident", ident).flag("test_mode", identity.testMode);
    e.line = QStringLiteral("identified on %1%2: %3")
                 .arg(where, identity.testMode ? QStringLiteral(" (test mode)") : QString(), ident);
    return e;
}

Event readingEvent(int station, const Measurement &m)
{
    const QString time = isoNow();
    Event e("reading");
    e.text("time", time).number("station", station);
    const QString temp = tenthsOrNull(e, "temperature", m.hasTemperature, m.temperature);
    const QString humi = tenthsOrNull(e, "humidity", m.hasHumidity, m.humidity);
    e.line = QStringLiteral("%1 station %2: %3%4, %5%6")
                 .arg(time)
                 .arg(station)
                 .arg(temp, kDegrees, humi, kPercent);
    return e;
}

Event checkEvent(int station, Quantity q, const Measurement &m, const Check &check)
{
    const bool temperature = q == Quantity::Temperature;
    const bool has = temperature ? m.hasTemperature : m.hasHumidity;
    const Judgement &j = temperature ? m.temperatureJudgement : m.humidityJudgement;
    const QString unit = temperature ? kDegrees : kPercent;
    const QString name = temperature ? QStringLiteral("temperature") : QStringLiteral("humidity");
    Event e("check");
    e.text("time", isoNow()).number("station", station).text("quantity", name);
    const bool pass = checkPassed(q, m);
    const QString value = tenthsOrNull(e, "value", has, j.value);
    // From the check itself: a value out of its range was never judged.
    e.tenths("reference", check.reference).tenths("tolerance", qint64(check.tolerance));
    const QString deviation = tenthsOrNull(e, "deviation", has, qint64(j.deviation));
    e.flag("pass", pass);
    e.line = QStringLiteral("%1 %2: reference %3, tolerance %4, deviation %5: %6")
                 .arg(name, has ? value + unit : QStringLiteral("no value in range"),
                      tenthsText(check.reference), tenthsText(qint64(check.tolerance)), deviation,
                      pass ? QStringLiteral("pass") : QStringLiteral("FAIL"));
    return e;
}

Event paramsEvent(const ParameterValues &values)
{
    Event e("params");
    e.text("time", isoNow());
    QStringList shown;
    for (int i = 0; i < kParameterCount; ++i) {
        const Parameter p = Parameter(i);
        const char *key = parameterKey(p);
        if (values[size_t(i)]) {
            addValue(e, key, p, *values[size_t(i)]);
            shown << QStringLiteral("%1 %2").arg(QLatin1String(key),
                                                 parameterValueText(p, *values[size_t(i)]));
        } else {
            e.null(key);
            shown << QStringLiteral("%1 -").arg(QLatin1String(key));
        }
    }
    e.line = shown.join(QStringLiteral(", "));
    return e;
}

Event writtenEvent(Parameter p, qint32 value, bool sent, bool confirmed)
{
    Event e("written");
    e.text("time", isoNow()).text("parameter", QLatin1String(parameterKey(p)));
    addValue(e, "value", p, value);
    e.flag("sent", sent).flag("confirmed", confirmed);
    const QString outcome = !sent       ? QStringLiteral("not written")
                            : confirmed ? QStringLiteral("written, confirmed")
                                        : QStringLiteral("sent, not confirmed");
    e.line = QStringLiteral("%1 %2: %3")
                 .arg(QLatin1String(parameterKey(p)), parameterValueText(p, value), outcome);
    return e;
}

} // namespace movra::cli
