// The real movra program, run with QProcess against the simulated
// transmitter served by this process on a pseudo-terminal. Every run gets a
// configuration folder of its own, so nothing touches a user's Setting.ini
// or records.
#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

#include "SimulatorHost.h"

namespace clitest {

struct Run
{
    int status = -1; // the exit status; -1 when it crashed or had to be killed
    QString out;
    QString err;
    QByteArray rawOut; // as written, byte-order mark and all

    QStringList outLines() const;
    QStringList errLines() const;
    // Every stdout line as JSON; a line that is not an object fails the test.
    QVector<QJsonObject> events() const;
    QVector<QJsonObject> events(const QString &name) const;
    // The "written" events, one "parameter sent=0|1 confirmed=0|1" each.
    QStringList written() const;
};

// Called once the process has started, then with everything it has printed
// so far each time it prints.
using Watch = std::function<void(QProcess &process, const QString &out)>;

class Rig
{
public:
    Rig();
    Rig(const Rig &) = delete;
    Rig &operator=(const Rig &) = delete;

    bool startDevice(qint32 rate = 9600);
    void stopDevice() { m_host.stop(); }
    movrasim::DeviceModel &device() { return m_host.model(); }
    QString port() const { return m_port; }
    // Everything the device heard, and how often it heard `frame`.
    const QByteArray &heard() const { return m_heard; }
    int timesHeard(const QByteArray &frame) const { return int(m_heard.count(frame)); }
    movrasim::SimulatorHost &host() { return m_host; }

    QString configDir() const { return m_dir.path() + QStringLiteral("/config"); }
    QString scratch() const { return m_dir.path(); }
    QProcessEnvironment env;

    Run run(const QStringList &args, const Watch &watch = {}, int timeoutMs = 30000);
    // Another program (a script), in the same environment.
    Run runProgram(const QString &program, const QStringList &args, const Watch &watch = {},
                   int timeoutMs = 30000);
    // The device's port and --no-records come first; args follow.
    Run runOnDevice(const QStringList &args, const Watch &watch = {});
    // The same, keeping records where the window keeps them.
    Run runRecording(const QStringList &args, const Watch &watch = {});
    // The window's record store, in this rig's configuration folder.
    QString recordsFile() const;

private:
    QTemporaryDir m_dir;
    movrasim::SimulatorHost m_host;
    QString m_port;
    QByteArray m_heard;
};

// A POSIX signal to a running child (nothing elsewhere).
void sendSignal(QProcess &p, int signal);

// The request frame of a code, as the engine builds it.
QByteArray frameOf(qint32 code, qint32 value = 0, quint8 station = 1, bool testMode = false);

// A real test-mode password, for the runs that need one.
extern const char kPassword[];

} // namespace clitest
