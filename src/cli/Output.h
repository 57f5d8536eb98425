// What the command line says: events on stdout, as text lines or as one
// JSON object a line; errors as one line on stderr (and an "error" event
// with --json); progress on stderr only when a person is watching it.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QString>

namespace movra::cli {

// One event: its JSON keys in the order they are added, and its text line.
class Event
{
public:
    explicit Event(const char *name);

    Event &text(const char *key, const QString &value);
    Event &number(const char *key, qint64 value);
    Event &tenths(const char *key, qint64 value); // 251 -> 25.1
    Event &flag(const char *key, bool value);
    Event &null(const char *key);
    // Any JSON value, under a key that is not a literal.
    Event &value(const QString &key, const QJsonValue &value);

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

    void event(const Event &event);
    void error(int status, const QString &message);
    void progress(const QString &text);
    // A line on stderr that changes nothing about the outcome.
    void warning(const QString &text);

private:
    bool m_json;
};

// 2024-05-01T08:00:00.123+02:00: local time with its offset.
QString isoTime(const QDateTime &time);
QString isoNow();

bool stderrIsTerminal();

} // namespace movra::cli
