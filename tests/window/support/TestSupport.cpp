#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>

#include "records/RecordStore.h"

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define MOVRA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MOVRA_ASAN 1
#endif
#endif
#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif

namespace movratest {

void tick(MovraTestTool &w, int n)
{
    for (int i = 0; i < n; ++i)
        w.runTick();
}

bool connectWithoutPort(MovraTestTool &w)
{
    w.session().request(movra::ReqProbe);
    feed(w, QByteArray("ARDENO\0KVT582-TH\0", 17));
    tick(w, 3);
    return w.session().linkState() == movra::LinkState::Connected;
}

void useOwnSettingsFolder()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    QCoreApplication::setApplicationName(
        QCoreApplication::applicationName() +
        QStringLiteral("-%1").arg(QCoreApplication::applicationPid()));
    QStandardPaths::setTestModeEnabled(true);
    static QString folder;
    folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    qAddPostRoutine([] { QDir(folder).removeRecursively(); });
}

QString settingsFile()
{
    QStandardPaths::setTestModeEnabled(true);
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/Setting.ini");
}

void removeSettings()
{
    QFile::remove(settingsFile());
    // The records of one test are no business of the next.
    movra::records::RecordStore::finishClosing();
    const QFileInfo settings(settingsFile());
    const QStringList stores = settings.dir().entryList({QStringLiteral("records.sqlite*")});
    for (const QString &name : stores)
        QFile::remove(settings.dir().filePath(name));
}

void writeSettings(const QList<QPair<QString, QVariant>> &values)
{
    const QString path = settingsFile();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSettings s(path, QSettings::IniFormat);
    for (const auto &kv : values)
        s.setValue(kv.first, kv.second);
    s.sync();
}

DiskValues diskSettings(QSettings::Status *status)
{
    DiskValues values;
    const QString file = settingsFile();
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("copy.ini"));
    if (!QFileInfo(file).isFile() || !QFile::copy(file, copy))
        return values;
    QSettings s(copy, QSettings::IniFormat);
    const QStringList keys = s.allKeys();
    for (const QString &key : keys)
        values.insert(key, s.value(key).toString());
    if (status)
        *status = s.status();
    return values;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QStringList logLines(MovraTestTool &w)
{
    QStringList lines;
    QTextDocument *doc = form(w).textEdit->document();
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

QString logText(MovraTestTool &w)
{
    return form(w).textEdit->toPlainText();
}

QString logOf(MovraTestTool &w)
{
    static const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}(?=\\t)"),
        QRegularExpression::MultilineOption);
    return logText(w).replace(stamp, QStringLiteral("T"));
}

QStringList logLinesOf(MovraTestTool &w)
{
    static const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}(?=\\t)"));
    QStringList lines = logLines(w);
    for (QString &line : lines)
        line.replace(stamp, QStringLiteral("T"));
    return lines;
}

QString logFor(const QStringList &messages)
{
    QStringList lines;
    for (QString m : messages)
        lines << QStringLiteral("T\t") + m.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return lines.join(QLatin1Char('\n'));
}

std::unique_ptr<MovraTestTool> makeWindow(const QStringList &extraPorts)
{
    removeSettings();
    WindowOptions options;
    options.extraPorts = extraPorts;
    auto w = std::make_unique<MovraTestTool>(options);
    // Ticks come from the test alone.
    w->ticker().stop();
    form(*w).textEdit->clear();
    return w;
}

qint64 residentBytes()
{
#ifdef RUNNING_ON_VALGRIND
    if (RUNNING_ON_VALGRIND)
        return -1;
#endif
#if defined(Q_OS_LINUX) && !defined(MOVRA_ASAN)
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : -1;
#else
    return -1;
#endif
}

} // namespace movratest
