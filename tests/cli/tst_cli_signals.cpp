// Ctrl+C and SIGTERM: readings and checks stop at once, between readings or
// with a request in flight; a write first finishes the item in flight and
// then says what was written and what was not.

#include <QtTest>
#include <csignal>

#include "CliRig.h"
#include "Pty.h"
#include "link/Requests.h"

using clitest::frameOf;
using clitest::Rig;
using clitest::Run;

class TestCliSignals : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readingsStopAtOnce_data();
    void readingsStopAtOnce();
    void writeFinishesTheItemInFlight_data();
    void writeFinishesTheItemInFlight();
};

void TestCliSignals::init()
{
#ifndef Q_OS_UNIX
    QSKIP("sends POSIX signals");
#endif
    if (!movratest::PtyPair::isSupported())
        QSKIP("needs pseudo-terminals");
}

void TestCliSignals::readingsStopAtOnce_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("inFlight"); // while a reading waits for its reply
    QTest::addColumn<int>("readings");

    // Five seconds apart: stopping "at once" means well before the next.
    const QStringList read{"read", "--count", "0", "--interval", "5"};
    const QStringList check{"check", "--temp", "25:5", "--count", "4", "--interval", "5"};
    QTest::newRow("read, SIGINT, between readings") << read << int(SIGINT) << false << 1;
    QTest::newRow("read, SIGTERM, between readings") << read << int(SIGTERM) << false << 1;
    QTest::newRow("check, SIGINT, between readings") << check << int(SIGINT) << false << 1;
    QTest::newRow("read, SIGINT, reply awaited") << read << int(SIGINT) << true << 0;
    QTest::newRow("check, SIGTERM, reply awaited") << check << int(SIGTERM) << true << 0;
    const QStringList calibrate{"calibrate", "--temp", "25", "--settle", "0", "--interval", "5"};
    QTest::newRow("calibrate, SIGTERM, between readings")
        << calibrate << int(SIGTERM) << false << 1;
}

void TestCliSignals::readingsStopAtOnce()
{
    QFETCH(QStringList, args);
    QFETCH(int, signal);
    QFETCH(bool, inFlight);
    QFETCH(int, readings);

    Rig rig;
    rig.device().setFixedTemperature(250);
    QVERIFY(rig.startDevice());
    QElapsedTimer sinceSignal;
    QProcess *process = nullptr;
    if (inFlight) {
        // A slow device: the signal comes while the reply is still awaited.
        movrasim::Faults slow;
        slow.delayMs = 2000;
        rig.device().setFaults(slow);
        QObject::connect(&rig.host(), &movrasim::SimulatorHost::bytesReceived, &rig.host(),
                         [&](const QByteArray &bytes) {
                             if (process && bytes.contains(frameOf(movra::ReqReadBoth))) {
                                 clitest::sendSignal(*process, signal);
                                 sinceSignal.start();
                             }
                         });
    }
    const Run r = rig.runOnDevice(
        QStringList{"--timeout", "5000", "--json"} + args, [&](QProcess &p, const QString &out) {
            process = &p;
            if (!inFlight && out.contains(QStringLiteral("\"reading\"")) &&
                !sinceSignal.isValid()) {
                clitest::sendSignal(p, signal);
                sinceSignal.start();
            }
        });
    QVERIFY(sinceSignal.isValid());
    QVERIFY2(sinceSignal.elapsed() < 1500, qPrintable(QString::number(sinceSignal.elapsed())));
    QCOMPARE(r.status, 128 + signal);
    QCOMPARE(r.events(QStringLiteral("reading")).size(), readings);
    QCOMPARE(r.errLines(), QStringList{"movra: interrupted"});
    const QJsonObject last = r.events().last();
    QCOMPARE(last.value("event").toString(), QStringLiteral("error"));
    QCOMPARE(last.value("code").toInt(), 128 + signal);
    // Nothing more was asked after the signal.
    QCOMPARE(rig.timesHeard(frameOf(movra::ReqReadBoth)), 1);
}

void TestCliSignals::writeFinishesTheItemInFlight_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void TestCliSignals::writeFinishesTheItemInFlight()
{
    QFETCH(int, signal);

    Rig rig;
    movrasim::Faults slow;
    slow.delayMs = 300;
    rig.device().setFaults(slow);
    QVERIFY(rig.startDevice());
    QProcess *process = nullptr;
    QObject::connect(&rig.host(), &movrasim::SimulatorHost::bytesReceived, &rig.host(),
                     [&](const QByteArray &bytes) {
                         if (process && bytes.contains(frameOf(movra::ReqWriteTempCorrection, 10)))
                             clitest::sendSignal(*process, signal);
                     });
    const Run r = rig.runOnDevice({"--timeout", "2000", "--json", "write", "--temp-offset", "1",
                                   "--humi-offset", "2", "--new-station", "9"},
                                  [&](QProcess &p, const QString &) { process = &p; });
    QCOMPARE(r.status, 128 + signal);

    QCOMPARE(r.written(),
             (QStringList{"temp_offset sent=1 confirmed=1", "humi_offset sent=0 confirmed=0",
                          "station sent=0 confirmed=0"}));
    QCOMPARE(r.errLines(), QStringList{"movra: interrupted; written: temp_offset; not written: "
                                       "humi_offset, station"});
    QCOMPARE(r.events().last().value("code").toInt(), 128 + signal);
    // The device took the first and heard nothing after it.
    QCOMPARE(rig.device().temperatureCorrection(), qint16(10));
    QCOMPARE(rig.device().humidityCorrection(), qint16(0));
    QCOMPARE(rig.device().address(), quint8(1));
    QVERIFY(rig.heard().endsWith(frameOf(movra::ReqWriteTempCorrection, 10)));
}

QTEST_GUILESS_MAIN(TestCliSignals)
#include "tst_cli_signals.moc"
