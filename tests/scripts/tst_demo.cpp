// scripts/demo as a desktop user runs it: on an X display (this test runs
// under xvfb-run), on this build folder. The window comes up on the
// simulator and stays until it is closed; closing it ends the demo with
// status 0, the simulator stopped and nothing left behind.

#include <QtTest>

// XWindows.cpp
bool xDisplayOpen();
quint64 xShownWindowOf(qint64 pid);
bool xRequestClose(quint64 window);

namespace {
// Processes of session `sid`, by /proc: pid and command name.
QMap<qint64, QString> sessionMembers(qint64 sid)
{
    QMap<qint64, QString> members;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &name : pids) {
        bool isPid = false;
        const qint64 pid = name.toLongLong(&isPid);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(name));
        if (!isPid || !stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid pgrp session ...; comm may hold spaces.
        const QByteArray line = stat.readAll();
        const int open = line.indexOf('(');
        const int close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (open > 0 && close > open && rest.size() > 3 && rest.at(3).toLongLong() == sid)
            members.insert(pid, QString::fromUtf8(line.mid(open + 1, close - open - 1)));
    }
    return members;
}

QStringList leftIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}
} // namespace

class TestDemo : public QObject
{
    Q_OBJECT

private slots:
    void closingTheWindowEndsTheDemo();
};

void TestDemo::closingTheWindowEndsTheDemo()
{
    QVERIFY2(xDisplayOpen(), "no X display: run under xvfb-run");
    QTemporaryDir scratch;
    const QString tmp = scratch.filePath(QStringLiteral("tmp"));
    const QString home = scratch.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(tmp) && QDir().mkpath(home));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "MOVRA_EXTRA_PORTS",
                             "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("MOVRA_BUILD_DIR"), QStringLiteral(MOVRA_BUILD_DIR));
    env.insert(QStringLiteral("TMPDIR"), tmp);
    env.insert(QStringLiteral("HOME"), home);
    // Under the sanitizers: the X platform plugin's allocations at exit are
    // not the tool's; the offscreen tests keep the leak check.
    if (env.contains(QStringLiteral("ASAN_OPTIONS")))
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    QProcess demo;
    demo.setProcessEnvironment(env);
    demo.setProcessChannelMode(QProcess::MergedChannels);
    // A session of its own, so that whatever it starts can be found.
    demo.start(QStringLiteral("setsid"), {QStringLiteral(MOVRA_SOURCE_DIR "/scripts/demo")});
    QVERIFY(demo.waitForStarted());
    const qint64 sid = demo.processId();

    qint64 toolPid = 0;
    qint64 simPid = 0;
    quint64 window = 0;
    const bool shown = QTest::qWaitFor(
        [&] {
            const QMap<qint64, QString> members = sessionMembers(sid);
            toolPid = members.key(QStringLiteral("MovraTestTool"));
            simPid = members.key(QStringLiteral("transmitter-sim"));
            window = toolPid ? xShownWindowOf(toolPid) : 0;
            return window != 0 || demo.state() == QProcess::NotRunning;
        },
        120000);
    QVERIFY2(shown && window != 0, demo.readAll().constData());
    QVERIFY(simPid != 0);

    // Up, and still up a while later.
    QTest::qWait(1000);
    QCOMPARE(demo.state(), QProcess::Running);
    QCOMPARE(xShownWindowOf(toolPid), window);

    QVERIFY(xRequestClose(window));
    QVERIFY(demo.waitForFinished(30000));
    const QString output = QString::fromUtf8(demo.readAll());
    QCOMPARE(demo.exitStatus(), QProcess::NormalExit);
    QVERIFY2(demo.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("demo: window closed, simulator stopped")),
             qPrintable(output));

    // A child the script forked may take a moment to be reaped once the script
    // is gone (seen once on a loaded machine); one that stays is left behind.
    QTRY_VERIFY2_WITH_TIMEOUT(
        sessionMembers(sid).isEmpty(),
        qPrintable(QStringList(sessionMembers(sid).values()).join(QLatin1Char(' '))), 5000);
    QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(simPid)));
    QCOMPARE(leftIn(tmp), QStringList());
    QCOMPARE(leftIn(home), QStringList());
}

QTEST_GUILESS_MAIN(TestDemo)
#include "tst_demo.moc"
