#include "CliRig.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>
#include <QtTest>

#include "link/Requests.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#endif

namespace clitest {

namespace {
// The simulator's end of the pseudo-terminal is open in this process; a
// child that inherited it would keep the line up after the device went.
class Child : public QProcess
{
protected:
    void setupChildProcess() override
    {
#ifdef Q_OS_UNIX
        for (int fd = 3; fd < 1024; ++fd) {
            const int flags = ::fcntl(fd, F_GETFD);
            if (flags >= 0)
                ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
#endif
    }
};
} // namespace

const char kPassword[] = "Wxdo582039";

QStringList Run::outLines() const
{
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList Run::errLines() const
{
    return err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QVector<QJsonObject> Run::events() const
{
    QVector<QJsonObject> all;
    for (const QString &line : outLines()) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        if (!doc.isObject())
            QTest::qFail(qPrintable(QStringLiteral("not a JSON object: ") + line), __FILE__,
                         __LINE__);
        all << doc.object();
    }
    return all;
}

QVector<QJsonObject> Run::events(const QString &name) const
{
    QVector<QJsonObject> some;
    for (const QJsonObject &e : events()) {
        if (e.value(QStringLiteral("event")).toString() == name)
            some << e;
    }
    return some;
}

QStringList Run::written() const
{
    QStringList lines;
    for (const QJsonObject &e : events(QStringLiteral("written")))
        lines << QStringLiteral("%1 sent=%2 confirmed=%3")
                     .arg(e.value("parameter").toString())
                     .arg(e.value("sent").toBool())
                     .arg(e.value("confirmed").toBool());
    return lines;
}

Rig::Rig()
{
    env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir());
    env.insert(QStringLiteral("HOME"), m_dir.path());
    env.remove(QStringLiteral("MOVRA_TEST_PASSWORD"));
    env.remove(QStringLiteral("MOVRA_EXTRA_PORTS"));
    QObject::connect(&m_host, &movrasim::SimulatorHost::bytesReceived, &m_host,
                     [this](const QByteArray &bytes) { m_heard += bytes; });
}

bool Rig::startDevice(qint32 rate)
{
    device().setBaudRate(rate);
    m_port = m_host.start();
    return !m_port.isEmpty();
}

Run Rig::run(const QStringList &args, const Watch &watch, int timeoutMs)
{
    return runProgram(QStringLiteral(MOVRA_CLI), args, watch, timeoutMs);
}

Run Rig::runProgram(const QString &program, const QStringList &args, const Watch &watch,
                    int timeoutMs)
{
    Run r;
    Child p;
    p.setProcessEnvironment(env);
    QEventLoop loop;
    QObject::connect(&p, &QProcess::readyReadStandardOutput, &loop, [&] {
        r.rawOut += p.readAllStandardOutput();
        r.out = QString::fromUtf8(r.rawOut);
        if (watch)
            watch(p, r.out);
    });
    QObject::connect(&p, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    p.start(program, args);
    if (p.waitForStarted(10000)) {
        if (watch)
            watch(p, r.out);
        loop.exec();
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
        QTest::qFail(qPrintable(program + QStringLiteral(" did not end in time")), __FILE__,
                     __LINE__);
    }
    r.rawOut += p.readAllStandardOutput();
    r.out = QString::fromUtf8(r.rawOut);
    r.err = QString::fromUtf8(p.readAllStandardError());
    if (p.exitStatus() == QProcess::NormalExit)
        r.status = p.exitCode();
    // What the program wrote before it ended is in the terminal's buffer:
    // one pass of the event loop hands it to the device.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return r;
}

Run Rig::runOnDevice(const QStringList &args, const Watch &watch)
{
    return run(QStringList{QStringLiteral("--port"), m_port, QStringLiteral("--no-records")} + args,
               watch);
}

Run Rig::runRecording(const QStringList &args, const Watch &watch)
{
    return run(QStringList{QStringLiteral("--port"), m_port} + args, watch);
}

QString Rig::recordsFile() const
{
    return configDir() + QStringLiteral("/MovraTestTool/records.sqlite");
}

void sendSignal(QProcess &p, int signal)
{
#ifdef Q_OS_UNIX
    ::kill(pid_t(p.processId()), signal);
#else
    Q_UNUSED(p)
    Q_UNUSED(signal)
#endif
}

QByteArray frameOf(qint32 code, qint32 value, quint8 station, bool testMode)
{
    movra::FrameArgs args;
    args.station = station;
    args.value = value;
    args.testMode = testMode;
    return movra::requestFrame(code, args);
}

} // namespace clitest
