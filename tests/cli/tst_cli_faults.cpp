// movra when the device or the port misbehaves: each of the simulator's
// faults gives the exit status and the one line that tells the script what
// went wrong; a port that cannot be opened or goes away in use gives 4.

#include <QtTest>

#include "CliRig.h"
#include "Faults.h"
#include "Pty.h"
#include "link/Requests.h"

using clitest::frameOf;
using clitest::Rig;
using clitest::Run;

class TestCliFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void deviceFaults_data();
    void deviceFaults();
    void portCannotBeOpened();
    void portLostWhileReading();
    void portLostWhileWriting();
};

void TestCliFaults::init()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("needs pseudo-terminals");
}

void TestCliFaults::deviceFaults_data()
{
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // the one line on stderr, after "movra: "
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("timesHeard"); // how often the device heard `frame`

    const QByteArray probe = frameOf(movra::ReqProbe);
    const QByteArray read = frameOf(movra::ReqReadBoth);
    const QStringList testMode{"--test-mode", clitest::kPassword};

    QTest::newRow("silent: three tries, each with its time-out")
        << "silent" << QStringList{"identify"} << 3 << "probe: no answer within 140 ms" << probe
        << 3;
    QTest::newRow("silent, at 2400 Bd: a longer time-out")
        << "silent" << QStringList{"--baud", "2400", "identify"} << 3
        << "probe: no answer within 260 ms" << probe << 3;
    QTest::newRow("every reply dropped")
        << "drop=100" << QStringList{"read"} << 3 << "probe: no answer within 140 ms" << read << 0;
    QTest::newRow("half dropped: three in a row lost")
        << "drop=50,seed=1" << QStringList{"identify"} << 3 << "probe: no answer within 140 ms"
        << probe << 3;
    QTest::newRow("half dropped: tried again until answered")
        << "drop=50,seed=8"
        << QStringList{"--timeout", "300", "read", "--count", "2", "--interval", "0"} << 0 << ""
        << read << 5;
    QTest::newRow("bad CRC: the identification has none, so it connects")
        << "badcrc" << QStringList{"identify"} << 0 << "" << probe << 1;
    // The order mode is read first, so that the reading is decoded by it.
    QTest::newRow("bad CRC: reading")
        << "badcrc" << QStringList{"read"} << 3 << "read-order: the reply failed its CRC check"
        << frameOf(movra::ReqReadOrder) << 3;
    QTest::newRow("bad CRC: parameters")
        << "badcrc" << QStringList{"params"} << 3 << "read-address: the reply failed its CRC check"
        << frameOf(movra::ReqReadAddress) << 3;
    QTest::newRow("bad CRC: a write's echo")
        << "badcrc" << QStringList{"write", "--temp-offset", "1"} << 3
        << "write-temp-correction: the device's echo differs from the request"
        << frameOf(movra::ReqWriteTempCorrection, 10) << 1;
    QTest::newRow("exception: the answer is no identification")
        << "exception" << QStringList{"identify"} << 3
        << "probe: the answer is not a transmitter's identification (15 bytes)" << probe << 3;
    QTest::newRow("exception, test mode: connects, then every read is refused")
        << "exception" << QStringList{testMode + QStringList{"read"}} << 3
        << "read-order: the device refused it (exception reply)" << frameOf(movra::ReqReadOrder)
        << 3;
    QTest::newRow("exception, test mode: writes refused")
        << "exception" << QStringList{testMode + QStringList{"write", "--order", "hardware"}} << 3
        << "write-order: the device refused it (exception reply)"
        << frameOf(movra::ReqWriteOrder, 0) << 3;
    QTest::newRow("adapter echo: identified")
        << "echo" << QStringList{"identify"} << 0 << "" << probe << 1;
    QTest::newRow("adapter echo: read") << "echo" << QStringList{"read"} << 0 << "" << read << 1;
    // The reply is taken as it completes: the first copy of a write's echo.
    QTest::newRow("adapter echo: a write, confirmed by the first copy")
        << "echo" << QStringList{"write", "--temp-offset", "-2"} << 0 << ""
        << frameOf(movra::ReqWriteTempCorrection, -20) << 1;
    QTest::newRow("garbage before each reply")
        << "garbage" << QStringList{"read"} << 3
        << "probe: the answer is not a transmitter's identification (92 bytes)" << read << 0;
    QTest::newRow("a slow device, inside the time-out")
        << "delay=60" << QStringList{"read"} << 0 << "" << read << 1;
    QTest::newRow("a slow device, beyond --timeout")
        << "delay=200" << QStringList{"--timeout", "50", "identify"} << 3
        << "probe: no answer within 50 ms" << probe << 3;
}

void TestCliFaults::deviceFaults()
{
    QFETCH(QString, faults);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, message);
    QFETCH(QByteArray, frame);
    QFETCH(int, timesHeard);

    Rig rig;
    movrasim::Faults f;
    QString error;
    QVERIFY2(movrasim::parseFaults({faults}, &f, &error), qPrintable(error));
    rig.device().setFaults(f);
    QVERIFY(rig.startDevice());
    const Run r = rig.runOnDevice(QStringList{"--json"} + args);
    QCOMPARE(r.status, status);
    QCOMPARE(rig.timesHeard(frame), timesHeard);
    if (status == 0) {
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        QVERIFY(r.events(QStringLiteral("error")).isEmpty());
        return;
    }
    QCOMPARE(r.errLines(), QStringList{QStringLiteral("movra: ") + message});
    const auto errors = r.events(QStringLiteral("error"));
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors[0].keys(), (QStringList{"code", "event", "message"}));
    QCOMPARE(errors[0].value("code").toInt(), status);
    QCOMPARE(errors[0].value("message").toString(), message);
    QCOMPARE(r.events().last(), errors[0]);
}

void TestCliFaults::portCannotBeOpened()
{
    Rig rig;
    const QString nowhere = rig.scratch() + QStringLiteral("/no-such-port");
    const Run r = rig.run({"--port", nowhere, "--no-records", "--json", "identify"});
    QCOMPARE(r.status, 4);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.startsWith(QStringLiteral("movra: cannot open %1: ").arg(nowhere)),
             qPrintable(r.err));
    QCOMPARE(r.events().size(), 1);
    QCOMPARE(r.events(QStringLiteral("error")).value(0).value("code").toInt(), 4);
}

void TestCliFaults::portLostWhileReading()
{
    Rig rig;
    QVERIFY(rig.startDevice());
    const Run r = rig.runOnDevice({"--json", "read", "--count", "0", "--interval", "0.1"},
                                  [&](QProcess &, const QString &out) {
                                      if (out.count(QStringLiteral("\"reading\"")) == 2)
                                          rig.stopDevice();
                                  });
    QCOMPARE(r.status, 4);
    QCOMPARE(r.events(QStringLiteral("reading")).size(), 2);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.startsWith(QStringLiteral("movra: lost the port %1: ").arg(rig.port())),
             qPrintable(r.err));
    QCOMPARE(r.events().last().value("code").toInt(), 4);
}

void TestCliFaults::portLostWhileWriting()
{
    Rig rig;
    movrasim::Faults slow;
    slow.delayMs = 300;
    rig.device().setFaults(slow);
    QVERIFY(rig.startDevice());
    // The adapter goes while the first write waits for its echo.
    QObject::connect(&rig.host(), &movrasim::SimulatorHost::bytesReceived, &rig.host(),
                     [&](const QByteArray &bytes) {
                         if (bytes.contains(frameOf(movra::ReqWriteTempCorrection, 5)))
                             rig.stopDevice();
                     });
    const Run r = rig.runOnDevice(
        {"--timeout", "1000", "--json", "write", "--temp-offset", "0.5", "--new-station", "3"});
    QCOMPARE(r.status, 4);
    QCOMPARE(r.written(),
             (QStringList{"temp_offset sent=1 confirmed=0", "station sent=0 confirmed=0"}));
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.contains(QStringLiteral("lost the port")), qPrintable(r.err));
}

QTEST_GUILESS_MAIN(TestCliFaults)
#include "tst_cli_faults.moc"
