// What the command line says: events on stdout, as text lines or as one
// JSON object a line; errors as one line on stderr (and an "error" event
// with --json); progress on stderr only when a person is watching it.
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QVector>

namespace movra::cli {

// One event: its JSON keys in the order they are added, and its text line.
class Event
{
public:
    explicit Event(const char *name);
    // An object inside an event, for list(); it has no name.
    Event() = default;

    Event &text(const char *key, const QString &value);
    Event &number(const char *key, qint64 value);
    Event &tenths(const char *key, qint64 value); // 251 -> 25.1
    Event &flag(const char *key, bool value);
    Event &null(const char *key);
    // Any JSON value, under a key that is not a literal.
    Event &value(const QString &key, const QJsonValue &value);
    // The objects in the order given, their keys in the order added.
    Event &list(const char *key, const QVector<Event> &objects);
    bool has(const char *key) const;

    // The line shown without --json.
    QString line;

    QByteArray json() const;

private:
    Event &raw(const QString &key, const QByteArray &value);
    QByteArray m_json;
};

class Output
{
public:
    explicit Output(bool json) : m_json(json) {}

    // One unit's output: its events carry the port when `tagged` (a unit of
    // several, whose lines start with the port too) and its serial when one
    // is given.
    Output unit(const QString &port, const QString &serial, bool tagged) const;

    // The unit's serial number; every event of the unit carries it.
    const QString &serial() const { return m_serial; }
    void event(const Event &event);
    // Returns `status`.
    int error(int status, const QString &message);
    void progress(const QString &text);
    // A line on stderr that changes nothing about the outcome.
    void warning(const QString &text);

private:
    QByteArray prefixed(const QString &text) const;

    bool m_json;
    QString m_port;
    QString m_serial;
    bool m_tagged = false;
};

// 2024-05-01T08:00:00.123+02:00: local time with its offset.
QString isoNow();

} // namespace movra::cli
