// movra against the simulated transmitter: identification at a given rate,
// in test mode and by trying the seven rates; readings and their keys; the
// qualification check's judgement.

#include <QtTest>

#include "CliRig.h"
#include "Pty.h"
#include "link/Protocol.h"
#include "link/Requests.h"

using clitest::frameOf;
using clitest::Rig;
using clitest::Run;

class TestCliDevice : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void identify_data();
    void identify();
    void autoBaudFindsEveryRate_data();
    void autoBaudFindsEveryRate();
    void autoBaudFindsNothing();
    void readings_data();
    void readings();
    void readingsAtAnotherStation();
    void testModeReadsTheLearnedStation();
    void check_data();
    void check();
    void checkFailsWhenOneReadingFails();
    void calibrate_data();
    void calibrate();
};

namespace {
const QRegularExpression kIsoTime(
    QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$"));

QStringList keysOf(const QJsonObject &o)
{
    return o.keys(); // sorted
}
} // namespace

void TestCliDevice::init()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("needs pseudo-terminals");
}

void TestCliDevice::identify_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("passwordInEnvironment");
    QTest::addColumn<bool>("testMode");

    QTest::newRow("normal") << QStringList{} << false << false;
    QTest::newRow("test mode") << QStringList{"--test-mode", clitest::kPassword} << false << true;
    QTest::newRow("test mode, password from the environment") << QStringList{} << true << true;
}

void TestCliDevice::identify()
{
    QFETCH(QStringList, args);
    QFETCH(bool, passwordInEnvironment);
    QFETCH(bool, testMode);

    Rig rig;
    rig.device().setAddress(7);
    QVERIFY(rig.startDevice(19200));
    if (passwordInEnvironment)
        rig.env.insert(QStringLiteral("MOVRA_TEST_PASSWORD"), QLatin1String(clitest::kPassword));
    const Run r = rig.runOnDevice(args + QStringList{"--baud", "19200", "--json", "identify"});
    QCOMPARE(r.status, 0);
    QVERIFY(r.err.isEmpty());
    QCOMPARE(r.events().size(), 1);
    const QJsonObject e = r.events(QStringLiteral("identified")).value(0);
    QVERIFY(kIsoTime.match(e.value("time").toString()).hasMatch());
    QCOMPARE(e.value("port").toString(), rig.port());
    QCOMPARE(e.value("baud").toInt(), 19200);
    QCOMPARE(e.value("test_mode").toBool(), testMode);
    if (testMode) {
        // The probe of the address block: the station comes back with it.
        QCOMPARE(keysOf(e),
                 (QStringList{"baud", "event", "ident", "port", "station", "test_mode", "time"}));
        QCOMPARE(e.value("station").toInt(), 7);
        QVERIFY(e.value("ident").toString().startsWith(QStringLiteral("fd030400070000")));
        QCOMPARE(rig.heard(), frameOf(movra::ReqProbe, 0, 1, true));
    } else {
        QCOMPARE(keysOf(e), (QStringList{"baud", "event", "ident", "port", "test_mode", "time"}));
        QCOMPARE(e.value("ident").toString(), QStringLiteral("ARDENO KVT582-TH V1.31"));
        QCOMPARE(rig.heard(), frameOf(movra::ReqProbe));
    }

    const Run text = rig.runOnDevice(args + QStringList{"--baud", "19200", "identify"});
    QCOMPARE(text.status, 0);
    QCOMPARE(text.outLines().size(), 1);
    QVERIFY2(text.out.startsWith(QStringLiteral("identified on %1 at 19200 Bd").arg(rig.port())),
             qPrintable(text.out));
}

void TestCliDevice::autoBaudFindsEveryRate_data()
{
    QTest::addColumn<qint32>("rate");
    for (int i = 0; i < movra::kBaudRateCount; ++i)
        QTest::addRow("%d", movra::baudRateAt(i)) << movra::baudRateAt(i);
}

void TestCliDevice::autoBaudFindsEveryRate()
{
    QFETCH(qint32, rate);

    Rig rig;
    QVERIFY(rig.startDevice(rate));
    const Run r = rig.runOnDevice({"--baud", "auto", "--json", "identify"});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.events(QStringLiteral("identified")).value(0).value("baud").toInt(), rate);
    // One probe at each rate tried, 9600 first, then the list in order,
    // until the device's: the device hears them all, and answers its own.
    const QVector<qint32> order{9600, 2400, 4800, 19200, 38400, 57600, 115200};
    QCOMPARE(rig.timesHeard(frameOf(movra::ReqProbe)), order.indexOf(rate) + 1);
}

void TestCliDevice::autoBaudFindsNothing()
{
    Rig rig;
    movrasim::Faults silent;
    silent.silent = true;
    rig.device().setFaults(silent);
    QVERIFY(rig.startDevice(4800));
    const Run r = rig.runOnDevice({"--baud", "auto", "identify"});
    QCOMPARE(r.status, 3);
    QCOMPARE(r.errLines().size(), 1);
    QVERIFY2(r.err.contains(QStringLiteral("seven rates")), qPrintable(r.err));
    // One probe a rate, none sent again.
    QCOMPARE(rig.timesHeard(frameOf(movra::ReqProbe)), 7);
}

void TestCliDevice::readings_data()
{
    QTest::addColumn<int>("order");
    QTest::newRow("hardware") << 0;
    QTest::newRow("humidity first") << 1;
    QTest::newRow("temperature first") << 2;
}

void TestCliDevice::readings()
{
    QFETCH(int, order);
    Rig rig;
    rig.device().setOrderMode(quint16(order));
    rig.device().setFixedTemperature(-125);
    rig.device().setFixedHumidity(453);
    QVERIFY(rig.startDevice());
    const Run r = rig.runOnDevice({"--json", "read", "--count", "3", "--interval", "0.05"});
    QCOMPARE(r.status, 0);
    const auto readings = r.events(QStringLiteral("reading"));
    QCOMPARE(readings.size(), 3);
    QCOMPARE(r.events().size(), 4);
    for (const QJsonObject &e : readings) {
        QCOMPARE(keysOf(e), (QStringList{"event", "humidity", "station", "temperature", "time"}));
        QVERIFY(kIsoTime.match(e.value("time").toString()).hasMatch());
        QCOMPARE(e.value("station").toInt(), 1);
        QCOMPARE(e.value("temperature").toDouble(), -12.5);
        QCOMPARE(e.value("humidity").toDouble(), 45.3);
    }
    QCOMPARE(rig.timesHeard(frameOf(movra::ReqReadBoth)), 3);

    // Out of its range, a value is null and the other still counts.
    rig.device().setFixedTemperature(1200);
    const Run out = rig.runOnDevice({"--json", "read"});
    QCOMPARE(out.status, 0);
    const QJsonObject e = out.events(QStringLiteral("reading")).value(0);
    QVERIFY(e.value("temperature").isNull());
    QCOMPARE(e.value("humidity").toDouble(), 45.3);

    // Qt names each plugin folder it searches; without records, no SQL driver.
    rig.env.insert(QStringLiteral("QT_DEBUG_PLUGINS"), QStringLiteral("1"));
    const Run text = rig.runOnDevice({"read"});
    QCOMPARE(text.status, 0);
    QVERIFY2(text.outLines().value(1).endsWith(QStringLiteral("station 1: - °C, 45.3 %RH")),
             qPrintable(text.out));
    QVERIFY2(!text.err.contains(QStringLiteral("sqldrivers")), qPrintable(text.err));
    QVERIFY(rig.runRecording({"read"}).err.contains(QStringLiteral("sqldrivers")));
}

void TestCliDevice::readingsAtAnotherStation()
{
    Rig rig;
    rig.device().setAddress(5);
    QVERIFY(rig.startDevice());
    const Run at5 = rig.runOnDevice({"--station", "5", "--json", "read"});
    QCOMPARE(at5.status, 0);
    QCOMPARE(at5.events(QStringLiteral("reading")).value(0).value("station").toInt(), 5);
    QCOMPARE(rig.timesHeard(frameOf(movra::ReqReadBoth, 0, 5)), 1);

    const Run at6 = rig.runOnDevice({"--station", "6", "--timeout", "100", "read"});
    QCOMPARE(at6.status, 3);
    QVERIFY2(at6.err.contains(QStringLiteral("read-both: no answer within 100 ms; station 6 does "
                                             "not answer")),
             qPrintable(at6.err));
    QVERIFY2(at6.err.contains(QStringLiteral("`movra params`")), qPrintable(at6.err));
    QCOMPARE(rig.timesHeard(frameOf(movra::ReqReadBoth, 0, 6)), 3);
}

void TestCliDevice::testModeReadsTheLearnedStation()
{
    Rig rig;
    rig.device().setAddress(23);
    QVERIFY(rig.startDevice());
    rig.env.insert(QStringLiteral("MOVRA_TEST_PASSWORD"), QLatin1String(clitest::kPassword));
    const Run learned = rig.runOnDevice({"--json", "read"});
    QCOMPARE(learned.status, 0);
    QCOMPARE(learned.events(QStringLiteral("reading")).value(0).value("station").toInt(), 23);
    QCOMPARE(rig.timesHeard(frameOf(movra::ReqReadBoth, 0, 23)), 1);
    // A station given wins over the one learned.
    const Run given = rig.runOnDevice({"--station", "22", "--timeout", "50", "read"});
    QCOMPARE(given.status, 3);
    QCOMPARE(rig.timesHeard(frameOf(movra::ReqReadBoth, 0, 22)), 3);
}

void TestCliDevice::check_data()
{
    QTest::addColumn<int>("temperature"); // tenths, as the device reports
    QTest::addColumn<int>("humidity");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("judged"); // value/reference/tolerance/deviation/pass per quantity
    QTest::addColumn<int>("status");

    QTest::newRow("both pass") << 251 << 453 << QStringList{"--temp", "25:0.5", "--humi", "45:1"}
                               << "25.1/25/0.5/0.1/1 45.3/45/1/0.3/1" << 0;
    QTest::newRow("at the tolerance: fails, the < is strict")
        << 255 << 453 << QStringList{"--temp", "25:0.5"} << "25.5/25/0.5/0.5/0" << 1;
    QTest::newRow("zero tolerance: nothing passes")
        << 250 << 453 << QStringList{"--temp", "25:0"} << "25/25/0/0/0" << 1;
    QTest::newRow("typed in single precision: 4.35 is 4.3")
        << 43 << 453 << QStringList{"--temp", "4.35:0.1"} << "4.3/4.3/0.1/0/1" << 0;
    QTest::newRow("typed in single precision: 4.4 is a tenth off")
        << 44 << 453 << QStringList{"--temp", "4.35:0.1"} << "4.4/4.3/0.1/0.1/0" << 1;
    QTest::newRow("below zero") << -52 << 453 << QStringList{"--temp", "-5:0.5"}
                                << "-5.2/-5/0.5/0.2/1" << 0;
    QTest::newRow("humidity alone fails")
        << 250 << 460 << QStringList{"--temp", "25:1", "--humi", "45:1"}
        << "25/25/1/0/1 46/45/1/1/0" << 1;
    QTest::newRow("temperature out of range fails")
        << 1200 << 453 << QStringList{"--temp", "25:100"} << "null/25/100/null/0" << 1;
}

void TestCliDevice::check()
{
    QFETCH(int, temperature);
    QFETCH(int, humidity);
    QFETCH(QStringList, args);
    QFETCH(QString, judged);
    QFETCH(int, status);

    Rig rig;
    rig.device().setFixedTemperature(qint16(temperature));
    rig.device().setFixedHumidity(quint16(humidity));
    QVERIFY(rig.startDevice());
    const Run r = rig.runOnDevice(QStringList{"--json", "check"} + args);
    QCOMPARE(r.status, status);
    QStringList seen;
    for (const QJsonObject &e : r.events(QStringLiteral("check"))) {
        QCOMPARE(keysOf(e), (QStringList{"deviation", "event", "pass", "quantity", "reference",
                                         "station", "time", "tolerance", "value"}));
        QCOMPARE(e.value("quantity").toString(),
                 seen.isEmpty() ? QStringLiteral("temperature") : QStringLiteral("humidity"));
        const auto number = [&](const char *key) {
            return e.value(key).isNull() ? QStringLiteral("null")
                                         : QString::number(e.value(key).toDouble());
        };
        seen << QStringList{number("value"), number("reference"), number("tolerance"),
                            number("deviation"), QString::number(int(e.value("pass").toBool()))}
                    .join('/');
    }
    QCOMPARE(seen.join(' '), judged);
    const auto errors = r.events(QStringLiteral("error"));
    QCOMPARE(errors.size(), status == 0 ? 0 : 1);
    if (status != 0) {
        QCOMPARE(errors[0].value("code").toInt(), 1);
        QVERIFY(r.err.contains(QStringLiteral("check failed at 1 of 1 readings")));
    }
}

void TestCliDevice::checkFailsWhenOneReadingFails()
{
    Rig rig;
    rig.device().setFixedTemperature(251);
    QVERIFY(rig.startDevice());
    int reads = 0;
    // The second reading drifts out of the tolerance, the third comes back.
    QObject::connect(&rig.host(), &movrasim::SimulatorHost::bytesReceived, &rig.host(),
                     [&](const QByteArray &bytes) {
                         if (!bytes.contains(frameOf(movra::ReqReadBoth)))
                             return;
                         ++reads;
                         rig.device().setFixedTemperature(reads == 1 ? 262 : 251);
                     });
    const Run r =
        rig.runOnDevice({"--json", "check", "--temp", "25:0.5", "--count", "3", "--interval", "0"});
    QCOMPARE(r.status, 1);
    QStringList passes;
    for (const QJsonObject &e : r.events(QStringLiteral("check")))
        passes << (e.value("pass").toBool() ? "pass" : "fail");
    QCOMPARE(passes, (QStringList{"pass", "fail", "pass"}));
    QCOMPARE(r.events(QStringLiteral("error")).value(0).value("message").toString(),
             QStringLiteral("check failed at 1 of 3 readings"));
}

void TestCliDevice::calibrate_data()
{
    QTest::addColumn<int>("humidity"); // raw, tenths
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("found"); // per quantity: as_found/after/as_left/written/pass

    const QStringList quick{"--temp",    "25", "--humi",     "45",  "--settle", "0",
                            "--samples", "2",  "--interval", "0.2", "--serial", "SN-7"};
    QTest::newRow("calibrated") << 440 << quick << 0 << "24.8/0.2/25/1/1 44/1/45/1/1";
    QTest::newRow("dry run") << 440 << quick + QStringList{"--dry-run"} << 0
                             << "24.8/0.2/null/0/0 44/1/null/0/0";
    QTest::newRow("out of range") << 300 << quick << 1 << "24.8/0.2/null/0/0 30/15/null/0/0";
    QTest::newRow("expired reference allowed")
        << 440 << quick + QStringList{"--reference-due", "2020-01-31", "--allow-expired-reference"}
        << 0 << "24.8/0.2/25/1/1 44/1/45/1/1";
}

void TestCliDevice::calibrate()
{
    QFETCH(int, humidity);
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, found);

    Rig rig;
    rig.device().setFixedTemperature(248);
    rig.device().setFixedHumidity(quint16(humidity));
    QVERIFY(rig.startDevice());
    const Run r = rig.runOnDevice(QStringList{"--json", "calibrate"} + args);
    QCOMPARE(r.status, status);
    QStringList seen;
    for (const QJsonObject &e : r.events(QStringLiteral("calibration"))) {
        QCOMPARE(keysOf(e),
                 (QStringList{"as_found", "as_left", "correction_after", "correction_before",
                              "event", "pass", "quantity", "reference", "samples", "serial",
                              "stable_after_s", "station", "time", "tolerance", "written"}));
        QCOMPARE(e.value("serial").toString(), QStringLiteral("SN-7"));
        const auto number = [&](const char *key) {
            return e.value(key).isNull() ? QStringLiteral("null")
                                         : QString::number(e.value(key).toDouble());
        };
        seen << QStringList{number("as_found"), number("correction_after"), number("as_left"),
                            QString::number(int(e.value("written").toBool())),
                            QString::number(int(e.value("pass").toBool()))}
                    .join('/');
    }
    QCOMPARE(seen.join(' '), found);
    QCOMPARE(r.events(QStringLiteral("params")).size(), 1);
    const auto written = std::count_if(
        seen.begin(), seen.end(), [](const QString &q) { return q.section('/', 3, 3) == "1"; });
    QCOMPARE(r.events(QStringLiteral("written")).size(), int(written));
}

QTEST_GUILESS_MAIN(TestCliDevice)
#include "tst_cli_device.moc"
