#include "cli/Output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "link/Tenths.h"
#include "trend/CsvRows.h"

namespace movra::cli {

namespace {

// Qt writes a lone value only inside an array or an object.
QByteArray jsonValue(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// Each line whole and at once: a line controller reads a pipe line by line.
void writeLine(std::FILE *stream, const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// The one call that differs between the systems.
bool stderrIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

} // namespace

Event::Event(const char *name)
{
    raw(QStringLiteral("event"), jsonValue(QLatin1String(name)));
}

Event &Event::raw(const QString &key, const QByteArray &value)
{
    m_json += m_json.isEmpty() ? "{" : ",";
    m_json += jsonValue(key) + ':' + value;
    return *this;
}

Event &Event::value(const QString &key, const QJsonValue &value)
{
    return raw(key, jsonValue(value));
}

Event &Event::text(const char *key, const QString &value)
{
    return raw(QLatin1String(key), jsonValue(value));
}

Event &Event::number(const char *key, qint64 value)
{
    return raw(QLatin1String(key), QByteArray::number(value));
}

Event &Event::tenths(const char *key, qint64 value)
{
    return raw(QLatin1String(key), tenthsText(value).toLatin1());
}

Event &Event::flag(const char *key, bool value)
{
    return raw(QLatin1String(key), value ? "true" : "false");
}

Event &Event::null(const char *key)
{
    return raw(QLatin1String(key), "null");
}

Event &Event::list(const char *key, const QVector<Event> &objects)
{
    QByteArray items;
    for (const Event &o : objects)
        items += (items.isEmpty() ? "" : ",") + o.json();
    return raw(QLatin1String(key), '[' + items + ']');
}

bool Event::has(const char *key) const
{
    const QByteArray quoted = jsonValue(QLatin1String(key)) + ':';
    return m_json.contains('{' + quoted) || m_json.contains(',' + quoted);
}

QByteArray Event::json() const
{
    return m_json + '}';
}

Output Output::unit(const QString &port, const QString &serial, bool tagged) const
{
    Output o(m_json);
    o.m_port = port;
    o.m_serial = serial;
    o.m_tagged = tagged;
    return o;
}

QByteArray Output::prefixed(const QString &text) const
{
    return (m_tagged ? m_port + QStringLiteral(": ") + text : text).toUtf8();
}

void Output::event(const Event &event)
{
    if (!m_json)
        return writeLine(stdout, prefixed(event.line));
    Event e = event;
    if (m_tagged && !e.has("port"))
        e.text("port", m_port);
    if (!m_serial.isEmpty())
        e.text("serial", m_serial);
    writeLine(stdout, e.json());
}

int Output::error(int status, const QString &message)
{
    writeLine(stderr, "movra: " + prefixed(message));
    if (m_json)
        event(Event("error").number("code", status).text("message", message));
    return status;
}

void Output::warning(const QString &text)
{
    writeLine(stderr, "movra: warning: " + prefixed(text));
}

void Output::progress(const QString &text)
{
    static const bool watched = stderrIsTerminal();
    if (watched)
        writeLine(stderr, "movra: " + prefixed(text));
}

QString isoNow()
{
    return trend::isoTime(QDateTime::currentDateTime());
}

} // namespace movra::cli
