// What the engine's tests share: a session connected without a port, and a
// trace of everything a session reports, each line stamped with the tick it
// happened on, so a sequence reads as a timetable.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <initializer_list>
#include <memory>

#include "engine/Session.h"

namespace enginetest {

// The identification text a transmitter answers the probe with.
inline QByteArray identification()
{
    static const char text[] = "ARDENO\0KVT582-TH\0V1.31\0";
    return QByteArray(text, int(sizeof(text)) - 1);
}

inline void run(movra::Session &s, int ticks)
{
    for (int i = 0; i < ticks; ++i)
        s.tick();
}

// The probe asked for, the identification fed and the three quiet ticks
// run: connected at tick 3, seven ticks before the first period ends.
inline bool connectWithoutPort(movra::Session &s)
{
    s.request(movra::ReqProbe);
    s.receive(identification());
    run(s, 3);
    return s.linkState() == movra::LinkState::Connected;
}

// Every parameter ticked for the batch write, each with a value the
// device takes: temperature -0.5, humidity 1.2, order 1, station 9, 19200 Bd.
inline void enableAllWrites(movra::Session &s)
{
    using movra::Parameter;
    for (int p = 0; p < movra::kParameterCount; ++p)
        s.setWriteEnabled(Parameter(p), true);
    s.setWriteValue(Parameter::TempCorrection, -5);
    s.setWriteValue(Parameter::HumiCorrection, 12);
    s.setWriteValue(Parameter::Order, 1);
    s.setWriteValue(Parameter::Address, 9);
    s.setWriteValue(Parameter::BaudRate, 19200);
}

inline QString parameterName(movra::Parameter p)
{
    switch (p) {
    case movra::Parameter::Address:
        return QStringLiteral("address");
    case movra::Parameter::BaudRate:
        return QStringLiteral("baud");
    case movra::Parameter::TempCorrection:
        return QStringLiteral("temp-correction");
    case movra::Parameter::HumiCorrection:
        return QStringLiteral("humi-correction");
    case movra::Parameter::Order:
        return QStringLiteral("order");
    }
    return QStringLiteral("?");
}

inline QString judgementText(const movra::Judgement &j)
{
    if (!j.judged)
        return QString();
    return QStringLiteral(" dev=%1 %2").arg(j.deviation).arg(j.pass ? "pass" : "fail");
}

inline QString measurementText(const movra::Measurement &m)
{
    QStringList parts;
    if (m.hasTemperature)
        parts << QStringLiteral("T=%1").arg(m.temperature) + judgementText(m.temperatureJudgement);
    if (m.hasHumidity)
        parts << QStringLiteral("H=%1").arg(m.humidity) + judgementText(m.humidityJudgement);
    return parts.join(QLatin1Char(' '));
}

// One line per report: "<tick> <kind> <details>". `device`, when set,
// answers every frame the session sends; its bytes arrive at once.
class Trace
{
public:
    explicit Trace(movra::Session &s) : m_s(s), m_context(std::make_unique<QObject>())
    {
        using S = movra::Session;
        QObject *c = m_context.get();
        QObject::connect(&s, &S::logMessage, c, [this](const QString &m) { note("log " + m); });
        QObject::connect(&s, &S::frameSent, c, [this](qint32 code, const QByteArray &frame) {
            note(QStringLiteral("sent %1 %2").arg(code).arg(QString::fromLatin1(frame.toHex())));
            if (device) {
                const QByteArray answer = device(code, frame);
                if (!answer.isEmpty())
                    m_s.receive(answer);
            }
        });
        QObject::connect(&s, &S::replySettled, c,
                         [this](qint32 code) { note(QStringLiteral("settled %1").arg(code)); });
        QObject::connect(&s, &S::requestTimedOut, c,
                         [this](qint32 code) { note(QStringLiteral("timeout %1").arg(code)); });
        QObject::connect(&s, &S::parameterRead, c, [this](movra::Parameter p, qint32 v) {
            note(QStringLiteral("read %1 %2").arg(parameterName(p)).arg(v));
        });
        QObject::connect(&s, &S::stationLearned, c,
                         [this](quint8 a) { note(QStringLiteral("station %1").arg(a)); });
        QObject::connect(&s, &S::measured, c, [this](const movra::Measurement &m) {
            note("measured " + measurementText(m));
        });
        QObject::connect(&s, &S::writeConfirmed, c, [this](qint32 code, qint32 v) {
            note(QStringLiteral("confirmed %1 %2").arg(code).arg(v));
        });
        QObject::connect(&s, &S::writeRejected, c,
                         [this](qint32 code) { note(QStringLiteral("rejected %1").arg(code)); });
        QObject::connect(&s, &S::batchFinished, c, [this](bool write, int failures, QString) {
            note(QStringLiteral("batch %1 %2").arg(write ? "write" : "read").arg(failures));
        });
        QObject::connect(&s, &S::handshakeSucceeded, c, [this] { note("handshake"); });
        QObject::connect(&s, &S::connected, c, [this](const movra::Identity &id) {
            note(QStringLiteral("connected %1 %2 %3")
                     .arg(id.baudRate)
                     .arg(id.testMode ? "test" : "normal")
                     .arg(id.station));
        });
        QObject::connect(&s, &S::connectTimedOut, c, [this](bool automatic, QString) {
            note(QStringLiteral("timed-out %1").arg(automatic ? "auto" : "manual"));
        });
        QObject::connect(&s, &S::disconnected, c, [this](bool byOperator, QString) {
            note(QStringLiteral("disconnected %1").arg(byOperator ? "operator" : "line"));
        });
        QObject::connect(&s, &S::linkStatus, c, [this](movra::LinkState state) {
            note(QStringLiteral("status %1").arg(int(state)));
        });
        QObject::connect(&s, &S::controlsRefresh, c, [this](movra::LinkState state) {
            note(QStringLiteral("controls %1").arg(int(state)));
        });
        QObject::connect(&s, &S::portFailed, c, [this](QString) { note("port-failed"); });
        QObject::connect(&s, &S::scanRateChosen, c,
                         [this](int i) { note(QStringLiteral("scan %1").arg(i)); });
    }

    std::function<QByteArray(qint32 code, const QByteArray &frame)> device;
    QStringList lines;

    // The lines of these kinds only, in order.
    QStringList of(std::initializer_list<const char *> kinds) const
    {
        QStringList out;
        for (const QString &line : lines) {
            const QString kind = line.section(QLatin1Char(' '), 1, 1);
            for (const char *k : kinds) {
                if (kind == QLatin1String(k)) {
                    out << line;
                    break;
                }
            }
        }
        return out;
    }
    // The same without the tick stamps.
    QStringList unstamped(std::initializer_list<const char *> kinds) const
    {
        QStringList out = of(kinds);
        for (QString &line : out)
            line = line.section(QLatin1Char(' '), 1);
        return out;
    }
    void clear() { lines.clear(); }

private:
    void note(const QString &what) { lines << QStringLiteral("%1 ").arg(m_s.ticks()) + what; }

    movra::Session &m_s;
    std::unique_ptr<QObject> m_context; // the connections end with the trace
};

// One string per line, so a failed comparison shows the whole timetable.
inline QString joined(const QStringList &lines)
{
    return lines.join(QLatin1Char('\n'));
}

} // namespace enginetest
