// movra's parameters against the simulated transmitter: the five read,
// each written and confirmed in the batch's order (a new baud rate with its
// restart), then read back and compared.

#include <QtTest>

#include "CliRig.h"
#include "Pty.h"
#include "link/Protocol.h"
#include "link/Requests.h"

using clitest::frameOf;
using clitest::Rig;
using clitest::Run;

class TestCliParams : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void params();
    void write_data();
    void write();
    void writeReadBackDiffers();
};

void TestCliParams::init()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("needs pseudo-terminals");
}

namespace {
QStringList sortedKeys(const QJsonObject &o)
{
    return o.keys();
}
} // namespace

void TestCliParams::params()
{
    Rig rig;
    rig.device().setAddress(42);
    rig.device().setTemperatureCorrection(-5);
    rig.device().setHumidityCorrection(12);
    rig.device().setOrderMode(quint16(movra::OrderMode::TemperatureFirst));
    QVERIFY(rig.startDevice(57600));
    const Run r = rig.runOnDevice({"--baud", "57600", "--json", "params"});
    QCOMPARE(r.status, 0);
    const QJsonObject e = r.events(QStringLiteral("params")).value(0);
    QCOMPARE(sortedKeys(e), (QStringList{"baud", "event", "humi_offset", "order", "station",
                                         "temp_offset", "time"}));
    QCOMPARE(e.value("station").toInt(), 42);
    QCOMPARE(e.value("baud").toInt(), 57600);
    QCOMPARE(e.value("temp_offset").toDouble(), -0.5);
    QCOMPARE(e.value("humi_offset").toDouble(), 1.2);
    QCOMPARE(e.value("order").toString(), QStringLiteral("temperature-first"));

    const Run text = rig.runOnDevice({"--baud", "57600", "params"});
    QCOMPARE(text.outLines().value(1),
             QStringLiteral("station 42, baud 57600 Bd, temp_offset -0.5 °C, humi_offset 1.2 %RH, "
                            "order temperature-first"));
}

void TestCliParams::write_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("written"); // parameter=value as the events give them
    QTest::addColumn<QString>("device");      // station/rate/temp/humi/order afterwards
    QTest::addColumn<QString>("readBack");

    QTest::newRow("temperature offset") << QStringList{"--temp-offset", "-1.5"}
                                        << QStringList{"temp_offset=-1.5"} << "1/9600/-15/0/0"
                                        << "1 9600 -1.5 0 hardware";
    QTest::newRow("humidity offset typed as the window does: 4.35 is 4.3")
        << QStringList{"--humi-offset", "4.35"} << QStringList{"humi_offset=4.3"} << "1/9600/0/43/0"
        << "1 9600 0 4.3 hardware";
    QTest::newRow("order") << QStringList{"--order", "temperature-first"}
                           << QStringList{"order=temperature-first"} << "1/9600/0/0/2"
                           << "1 9600 0 0 temperature-first";
    QTest::newRow("station") << QStringList{"--new-station", "254"} << QStringList{"station=254"}
                             << "254/9600/0/0/0"
                             << "254 9600 0 0 hardware";
    QTest::newRow("baud rate: restart, then read back at the new rate")
        << QStringList{"--new-baud", "115200"} << QStringList{"baud=115200"} << "1/115200/0/0/0"
        << "1 115200 0 0 hardware";
    QTest::newRow("all five, in the batch's order")
        << QStringList{"--new-baud",    "2400", "--new-station", "9", "--order", "humidity-first",
                       "--humi-offset", "-10",  "--temp-offset", "10"}
        << QStringList{"temp_offset=10", "humi_offset=-10", "order=humidity-first", "station=9",
                       "baud=2400"}
        << "9/2400/100/-100/1"
        << "9 2400 10 -10 humidity-first";
}

void TestCliParams::write()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, written);
    QFETCH(QString, device);
    QFETCH(QString, readBack);

    Rig rig;
    QVERIFY(rig.startDevice());
    const Run r = rig.runOnDevice(QStringList{"--json", "write"} + args);
    QCOMPARE(r.status, 0);
    QStringList seen;
    for (const QJsonObject &e : r.events(QStringLiteral("written"))) {
        QCOMPARE(sortedKeys(e),
                 (QStringList{"confirmed", "event", "parameter", "sent", "time", "value"}));
        QVERIFY(e.value("sent").toBool() && e.value("confirmed").toBool());
        seen << e.value("parameter").toString() + '=' + e.value("value").toVariant().toString();
    }
    QCOMPARE(seen, written);

    movrasim::DeviceModel &d = rig.device();
    QCOMPARE(QStringLiteral("%1/%2/%3/%4/%5")
                 .arg(d.address())
                 .arg(d.baudRate())
                 .arg(d.temperatureCorrection())
                 .arg(d.humidityCorrection())
                 .arg(d.orderMode()),
             device);
    const QJsonObject p = r.events(QStringLiteral("params")).value(0);
    QCOMPARE(QStringList(
                 {p.value("station").toVariant().toString(), p.value("baud").toVariant().toString(),
                  p.value("temp_offset").toVariant().toString(),
                  p.value("humi_offset").toVariant().toString(), p.value("order").toString()})
                 .join(' '),
             readBack);
    // Each write went out once, and the five reads after them.
    QCOMPARE(rig.timesHeard(frameOf(movra::ReqReadOrder)), 1);
    if (args.contains(QStringLiteral("--new-baud")))
        QCOMPARE(rig.timesHeard(frameOf(movra::ReqRestart)), 1);
}

void TestCliParams::writeReadBackDiffers()
{
    Rig rig;
    QVERIFY(rig.startDevice());
    // A device that echoes the write and keeps its old value.
    QObject::connect(&rig.host(), &movrasim::SimulatorHost::bytesReceived, &rig.host(),
                     [&](const QByteArray &bytes) {
                         if (bytes.contains(frameOf(movra::ReqWriteTempCorrection, 15)))
                             rig.device().setTemperatureCorrection(0);
                     });
    const Run r = rig.runOnDevice({"write", "--temp-offset", "1.5", "--humi-offset", "0.5"});
    QCOMPARE(r.status, 1);
    QCOMPARE(r.errLines(),
             QStringList{"movra: read-back differs: temp_offset written 1.5 °C, read 0.0 °C"});
    QCOMPARE(rig.device().humidityCorrection(), qint16(5));
}

QTEST_GUILESS_MAIN(TestCliParams)
#include "tst_cli_params.moc"
