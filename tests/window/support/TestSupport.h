// Helpers shared by the window's tests: its form, tick driving, answering
// modal boxes, and the settings file of a test run.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QMetaObject>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QtTest>
#include <memory>

#include "Dialogs.h"
#include "Form.h"
#include "app/MovraTestTool.h"

namespace movratest {

// Runs the 10 ms tick n times through the meta-object, as the timer would.
void tick(MovraTestTool &w, int n = 1);
// Bytes from the line, as the port would hand them to the engine.
inline void feed(MovraTestTool &w, const QByteArray &bytes)
{
    w.session().receive(bytes);
}
// Connects without a port: the probe is asked for, the identification
// text fed, and the three quiet ticks run. True when the window is connected.
bool connectWithoutPort(MovraTestTool &w);

// Full path of Setting.ini for this (test-mode) run; removes a stale one.
// Test mode plus a settings folder of this process's own, removed when the
// application ends: a copy of the same test running at the same time (a
// sanitizer build, a second shell) must not read this one's Setting.ini.
void useOwnSettingsFolder();
QString settingsFile();
// Removes Setting.ini and the record store beside it.
void removeSettings();
// Writes keys into Setting.ini before a window is built.
void writeSettings(const QList<QPair<QString, QVariant>> &values);
// Setting.ini as it is on disk, every key with its value as text; empty
// without a file. QSettings caches the files it wrote in this process, so a
// copy under another name is read. *status says whether it read cleanly.
using DiskValues = QMap<QString, QString>;
DiskValues diskSettings(QSettings::Status *status = nullptr);
// A file's bytes; "<unreadable>" when it cannot be read, so a file that has
// gone never compares equal to an empty one.
QByteArray fileBytes(const QString &path);

// Log pane text as plain text, one string per paragraph.
QStringList logLines(MovraTestTool &w);
QString logText(MovraTestTool &w);
// The log pane as plain text, each line's timestamp replaced by "T".
QString logOf(MovraTestTool &w);
// The same, one string per paragraph.
QStringList logLinesOf(MovraTestTool &w);
// What the pane shows for these appendLog messages: a CR LF starts a new
// paragraph, so a message ending in one leaves an empty line.
QString logFor(const QStringList &messages);

// A window with no settings file, an empty log, and ticks from the test alone.
std::unique_ptr<MovraTestTool> makeWindow(const QStringList &extraPorts = {});

// Resident set size in bytes; -1 without /proc, or under ASan or valgrind,
// which hold on to freed memory on purpose.
qint64 residentBytes();

} // namespace movratest

Q_DECLARE_METATYPE(movratest::DiskValues)

namespace QTest {
template <> inline char *toString(const movratest::DiskValues &values)
{
    QStringList parts;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        parts << it.key() + QLatin1Char('=') + it.value();
    return qstrdup(parts.join(QLatin1String(", ")).toUtf8().constData());
}
} // namespace QTest
