// Helpers shared by the tests: the window's private state, tick driving,
// answering modal boxes, and the settings file of a test run.
#pragma once

#include <QByteArray>
#include <QMetaObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/MovraTestTool.h"

#define MOVRA_MEMBER(name)                                                                         \
    static auto &name(MovraTestTool &w)                                                            \
    {                                                                                              \
        return w.name;                                                                             \
    }

// The window befriends this struct; tests read and set its members here.
struct MovraTestAccess
{
    static Ui::MovraTestToolClass &ui(MovraTestTool &w) { return w.ui; }
    MOVRA_MEMBER(selectedPortName)
    MOVRA_MEMBER(tickTimer)
    MOVRA_MEMBER(serialPort)
    MOVRA_MEMBER(rxBuffer)
    MOVRA_MEMBER(lastRequest)
    MOVRA_MEMBER(savedPortName)
    MOVRA_MEMBER(settingsPath)
    MOVRA_MEMBER(logMenu)
    MOVRA_MEMBER(copyAction)
    MOVRA_MEMBER(selectAllAction)
    MOVRA_MEMBER(clearAction)
    MOVRA_MEMBER(savedBaudIndex)
    MOVRA_MEMBER(linkState)
    MOVRA_MEMBER(connectCount)
    MOVRA_MEMBER(testMode)
    MOVRA_MEMBER(baudRate)
    MOVRA_MEMBER(devAddress)
    MOVRA_MEMBER(idleTicks)
    MOVRA_MEMBER(periodTicks)
    MOVRA_MEMBER(secondTicks)
    MOVRA_MEMBER(autoBaudIndex)
    MOVRA_MEMBER(readParamOnConnect)
    MOVRA_MEMBER(pendingRequest)
    MOVRA_MEMBER(batchReadActive)
    MOVRA_MEMBER(readStep)
    MOVRA_MEMBER(readTimeoutCount)
    MOVRA_MEMBER(readFailCount)
    MOVRA_MEMBER(batchWriteActive)
    MOVRA_MEMBER(writeStep)
    MOVRA_MEMBER(writeTimeoutCount)
    MOVRA_MEMBER(writeFailCount)
    MOVRA_MEMBER(writeDevAddress)
    MOVRA_MEMBER(writeBaudRate)
    MOVRA_MEMBER(writeTempOffset)
    MOVRA_MEMBER(writeHumiOffset)
    MOVRA_MEMBER(writeTempHumiRevert)
    MOVRA_MEMBER(devNumChecked)
    MOVRA_MEMBER(braudRateChecked)
    MOVRA_MEMBER(tempOffsetChecked)
    MOVRA_MEMBER(humiOffsetChecked)
    MOVRA_MEMBER(tempHumiRevertChecked)
    MOVRA_MEMBER(tempInterval)
    MOVRA_MEMBER(humiInterval)
    MOVRA_MEMBER(autoReadTemp)
    MOVRA_MEMBER(autoReadHumi)
    MOVRA_MEMBER(tempSeconds)
    MOVRA_MEMBER(humiSeconds)
    MOVRA_MEMBER(temperature)
    MOVRA_MEMBER(humidity)
    MOVRA_MEMBER(baseTemp)
    MOVRA_MEMBER(baseHumi)
    MOVRA_MEMBER(checkOffsetTemp)
    MOVRA_MEMBER(checkOffsetHumi)
    MOVRA_MEMBER(checkTemp)
    MOVRA_MEMBER(checkHumi)

    // Private operations the tests call directly.
    static void appendLog(MovraTestTool &w, const QString &m) { w.appendLog(m); }
    static bool handleReply(MovraTestTool &w, const QByteArray &b)
    {
        return w.handleReply(b, quint16(b.size()));
    }
    static void showLinkStatus(MovraTestTool &w, qint32 s) { w.showLinkStatus(s); }
    static void refreshControls(MovraTestTool &w) { w.refreshControls(); }
    static void applyMeasurement(MovraTestTool &w, qint16 t, quint16 h, bool tv, bool hv)
    {
        w.applyMeasurement(t, h, tv, hv);
    }
    static void pollMeasurement(MovraTestTool &w) { w.pollMeasurement(); }
    static void onSerialError(MovraTestTool &w, QSerialPort::SerialPortError e)
    {
        w.onSerialError(e);
    }
    static void feed(MovraTestTool &w, const QByteArray &bytes)
    {
        w.rxBuffer.append(bytes);
        w.idleTicks = 0;
    }
};

#undef MOVRA_MEMBER

namespace movratest {

// Runs the 10 ms tick n times through the meta-object, as the timer would.
void tick(MovraTestTool &w, int n = 1);

// Full path of Setting.ini for this (test-mode) run; removes a stale one.
// Test mode plus a settings folder of this process's own, removed when the
// application ends: a copy of the same test running at the same time (a
// sanitizer build, a second shell) must not read this one's Setting.ini.
void useOwnSettingsFolder();
QString settingsFile();
void removeSettings();
// Writes keys into Setting.ini before a window is built.
void writeSettings(const QList<QPair<QString, QVariant>> &values);

// Answers the next modal widget (message box or input dialog) that becomes
// active, after handing it to `inspect`. Call before the action that opens it.
// With `text` set, an input dialog gets that text; `accept` picks OK or Cancel.
struct ModalRecord
{
    bool seen = false;
    QString title;
    QString text;
    QString label;

    // A watcher still polling after the record went out of scope must not
    // write into it.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    ModalRecord() = default;
    ModalRecord(const ModalRecord &o) : seen(o.seen), title(o.title), text(o.text), label(o.label)
    {
    }
    ModalRecord &operator=(const ModalRecord &o)
    {
        seen = o.seen;
        title = o.title;
        text = o.text;
        label = o.label;
        return *this;
    }
    ~ModalRecord() { *alive = false; }
};
void answerNextModal(ModalRecord *record, bool accept = true, const QString &text = QString());

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
std::unique_ptr<MovraTestTool> makeWindow();

// Resident set size in bytes; -1 without /proc, or under ASan or valgrind,
// which hold on to freed memory on purpose.
qint64 residentBytes();

} // namespace movratest
