// The session against the simulated transmitter, in this process, over a
// real QSerialPort on a pseudo-terminal: connecting by hand and by the
// seven-rate scan, both batches changing and reading the device, and
// measurements. The line settles after every tick, so every tick number
// below is exact.

#include <QtTest>

#include "EngineTest.h"
#include "Pty.h"
#include "SimLine.h"

using enginetest::joined;
using enginetest::SimLine;
using enginetest::Trace;
using movra::Quantity;

class TestSessionSim : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void manualConnect_data();
    void manualConnect();
    void scan_data();
    void scan();

    void batchReadOnConnect();
    void batchWriteThenScanAtTheNewRate();

    void measurements_data();
    void measurements();
    void periodicJudged();
};

void TestSessionSim::init()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("needs pseudo-terminals");
}

void TestSessionSim::manualConnect_data()
{
    QTest::addColumn<qint32>("deviceRate");
    QTest::addColumn<qint32>("rate");
    QTest::addColumn<bool>("testMode");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("framesHeard");

    // The probe goes out in the second period, and every other one after.
    QTest::newRow("same rate") << 9600 << 9600 << false << false
                               << QStringList{"20 sent 1", "23 connected 9600 normal -1"} << 1;
    QTest::newRow("same rate, test mode")
        << 4800 << 4800 << true << false << QStringList{"10 sent 2", "13 connected 4800 test -1"}
        << 1;
    QTest::newRow("another rate") << 19200 << 9600 << false << false
                                  << QStringList{"20 sent 1", "40 sent 1", "60 timed-out manual"}
                                  << 2;
    QTest::newRow("silent device")
        << 9600 << 9600 << false << true
        << QStringList{"20 sent 1", "40 sent 1", "60 timed-out manual"} << 2;
}

void TestSessionSim::manualConnect()
{
    QFETCH(qint32, deviceRate);
    QFETCH(qint32, rate);
    QFETCH(bool, testMode);
    QFETCH(bool, silent);
    QFETCH(QStringList, events);
    QFETCH(int, framesHeard);

    SimLine line;
    QVERIFY(line.start(deviceRate));
    movrasim::Faults faults;
    faults.silent = silent;
    line.model().setFaults(faults);
    line.session.setTestMode(testMode);
    Trace trace(line.session);
    QVERIFY(line.beginManual(rate));
    QVERIFY(line.tick(70));

    QStringList got;
    for (const QString &l : trace.of({"sent", "connected", "timed-out"}))
        got << (l.contains(" sent ") ? l.section(' ', 0, 2) : l);
    QCOMPARE(joined(got), joined(events));
    QCOMPARE(line.heard.size(), framesHeard * movra::kRequestFrameSize);
    const bool connected = events.last().contains("connected");
    QCOMPARE(line.connected(), connected);
    QCOMPARE(line.session.port().isOpen(), connected);
    if (connected && !testMode)
        QCOMPARE(line.session.stats().bytesRead,
                 quint64(movrasim::DeviceModel::identificationText().size()));
}

void TestSessionSim::scan_data()
{
    QTest::addColumn<qint32>("deviceRate");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QStringList>("events");

    // The port opens at the first rate; the scan then tries all seven, each
    // for three periods, probing in the second.
    QTest::newRow("first rate") << 2400 << false
                                << QStringList{"20 probe", "23 connected 2400 normal -1"};
    QTest::newRow("second rate") << 4800 << false
                                 << QStringList{"20 probe", "40 scan 0",
                                                "50 probe", "70 scan 1",
                                                "80 probe", "83 connected 4800 normal -1"};
    QTest::newRow("9600") << 9600 << false
                          << QStringList{"20 probe",  "40 scan 0",
                                         "50 probe",  "70 scan 1",
                                         "80 probe",  "100 scan 2",
                                         "110 probe", "113 connected 9600 normal -1"};
    QTest::newRow("last rate")
        << 115200 << false
        << QStringList{"20 probe",  "40 scan 0",  "50 probe",  "70 scan 1",
                       "80 probe",  "100 scan 2", "110 probe", "130 scan 3",
                       "140 probe", "160 scan 4", "170 probe", "190 scan 5",
                       "200 probe", "220 scan 6", "230 probe", "233 connected 115200 normal -1"};
    QTest::newRow("nothing answers")
        << 9600 << true
        << QStringList{"20 probe",  "40 scan 0",  "50 probe",  "70 scan 1",
                       "80 probe",  "100 scan 2", "110 probe", "130 scan 3",
                       "140 probe", "160 scan 4", "170 probe", "190 scan 5",
                       "200 probe", "220 scan 6", "230 probe", "250 timed-out auto"};
}

void TestSessionSim::scan()
{
    QFETCH(qint32, deviceRate);
    QFETCH(bool, silent);
    QFETCH(QStringList, events);

    SimLine line;
    QVERIFY(line.start(deviceRate));
    movrasim::Faults faults;
    faults.silent = silent;
    line.model().setFaults(faults);
    Trace trace(line.session);
    QVERIFY(line.beginScan());
    QVERIFY(line.tick(260));

    QStringList got;
    for (const QString &l : trace.of({"sent", "scan", "connected", "timed-out"}))
        got << (l.contains(" sent 1 ") ? l.section(' ', 0, 0) + " probe" : l);
    QCOMPARE(joined(got), joined(events));
    if (!silent) {
        QVERIFY(line.connected());
        QCOMPARE(line.session.baudRate(), deviceRate);
    } else {
        QCOMPARE(line.session.linkState(), movra::LinkState::Failed);
        QVERIFY(!line.session.port().isOpen());
    }
}

void TestSessionSim::batchReadOnConnect()
{
    SimLine line;
    QVERIFY(line.start(19200));
    line.model().setAddress(5);
    line.model().setTemperatureCorrection(-15);
    line.model().setHumidityCorrection(30);
    line.model().setOrderMode(quint16(movra::OrderMode::TemperatureFirst));
    line.session.setReadParametersOnConnect(true);
    Trace trace(line.session);
    QVERIFY(line.beginManual(19200));
    QVERIFY(line.tick(100));

    const QStringList expected{
        "23 connected 19200 normal -1",
        "33 station 5",
        "33 read address 5",
        "43 read baud 19200",
        "53 read temp-correction -15",
        "63 read humi-correction 30",
        "73 read order 2",
        "80 batch read 0",
    };
    QCOMPARE(joined(trace.of({"connected", "station", "read", "batch", "timeout"})),
             joined(expected));
    // Read-backs go to whichever device is attached; measurements go to
    // the station just learned.
    QCOMPARE(int(line.session.station()), 5);
    QCOMPARE(line.session.stats().timeouts, quint64(0));
}

void TestSessionSim::batchWriteThenScanAtTheNewRate()
{
    SimLine line;
    QVERIFY(line.start(9600));
    line.model().setFixedTemperature(231);
    line.model().setFixedHumidity(455);
    movra::Session &s = line.session;
    enginetest::enableAllWrites(s);
    Trace trace(s);
    QVERIFY(line.connectAt(9600));
    s.startBatchWrite();
    QVERIFY(line.tick(80));

    QCOMPARE(joined(trace.of({"confirmed", "rejected", "timeout", "batch"})),
             joined({"33 confirmed 200 -5", "43 confirmed 201 12", "53 confirmed 202 1",
                     "63 confirmed 203 9", "73 confirmed 204 19200", "90 batch write 0"}));
    movrasim::DeviceModel &device = line.model();
    QCOMPARE(device.temperatureCorrection(), qint16(-5));
    QCOMPARE(device.humidityCorrection(), qint16(12));
    QCOMPARE(device.orderMode(), quint16(1));
    QCOMPARE(int(device.address()), 9);
    // The restart went out right after the confirmation, and took effect.
    QCOMPARE(device.baudRate(), 19200);
    QCOMPARE(device.pendingBaudRate(), 0);
    QCOMPARE(s.baudRate(), 9600);

    // At the old rate the device hears nothing; the scan finds it.
    trace.clear();
    s.setStation(9);
    s.readNow();
    QVERIFY(line.settle());
    QVERIFY(line.tick(10));
    QCOMPARE(trace.of({"measured"}), QStringList());
    s.disconnectByOperator();
    QVERIFY(line.beginScan());
    QVERIFY(line.ticksUntil([&] { return line.connected(); }, 300) > 0);
    QCOMPARE(s.baudRate(), 19200);
    trace.clear();
    s.readNow();
    QVERIFY(line.settle());
    QVERIFY(line.tick(3));
    QCOMPARE(trace.unstamped({"measured"}), QStringList{"measured T=226 H=467"});
}

void TestSessionSim::measurements_data()
{
    QTest::addColumn<int>("deviceAddress");
    QTest::addColumn<int>("tempCorrection");
    QTest::addColumn<int>("order");   // the device's order mode
    QTest::addColumn<int>("learnBy"); // 0: not learned, else the request that learns it
    QTest::addColumn<QStringList>("events");

    QTest::newRow("our station") << 1 << 0 << 0 << 0 << QStringList{"26 measured T=231 H=455"};
    QTest::newRow("with a correction")
        << 1 << 10 << 0 << 0 << QStringList{"26 measured T=241 H=455"};
    QTest::newRow("another station stays silent") << 2 << 0 << 0 << 0 << QStringList();
    QTest::newRow("humidity first, read")
        << 1 << 0 << 1 << int(movra::ReqReadOrder) << QStringList{"measured T=231 H=455"};
    QTest::newRow("temperature first, read")
        << 1 << 0 << 2 << int(movra::ReqReadOrder) << QStringList{"measured T=231 H=455"};
    QTest::newRow("temperature first, written")
        << 1 << 0 << 2 << int(movra::ReqWriteOrder) << QStringList{"measured T=231 H=455"};
    // Not known yet: the registers as they are named.
    QTest::newRow("temperature first, not known")
        << 1 << 0 << 2 << 0 << QStringList{"26 measured T=455 H=231"};
}

void TestSessionSim::measurements()
{
    QFETCH(int, deviceAddress);
    QFETCH(int, tempCorrection);
    QFETCH(int, order);
    QFETCH(int, learnBy);
    QFETCH(QStringList, events);

    SimLine line;
    QVERIFY(line.start(9600));
    line.model().setAddress(quint8(deviceAddress));
    line.model().setTemperatureCorrection(qint16(tempCorrection));
    line.model().setFixedTemperature(231);
    line.model().setFixedHumidity(455);
    if (learnBy != movra::ReqWriteOrder)
        line.model().setOrderMode(quint16(order));
    Trace trace(line.session);
    QVERIFY(line.connectAt(9600));
    if (learnBy != 0) {
        line.session.request(learnBy, order, 100);
        QVERIFY(line.settle());
        QVERIFY(line.tick(20));
        QCOMPARE(line.session.orderMode(), order);
    }
    line.session.readNow();
    QVERIFY(line.settle());
    QVERIFY(line.tick(20));

    QCOMPARE(learnBy != 0 ? trace.unstamped({"measured"}) : trace.of({"measured"}), events);
    QCOMPARE(line.session.pendingRequest(), events.isEmpty() ? qint32(movra::ReqReadBoth) : 0);
    if (learnBy == 0)
        return;
    // A single quantity asks for the register that holds it.
    for (const auto code : {movra::ReqReadTemperature, movra::ReqReadHumidity}) {
        trace.clear();
        line.session.request(code, 0, 100);
        QVERIFY(line.settle());
        QVERIFY(line.tick(20));
        QCOMPARE(
            trace.unstamped({"measured"}),
            QStringList{code == movra::ReqReadTemperature ? "measured T=231" : "measured H=455"});
    }
}

void TestSessionSim::periodicJudged()
{
    SimLine line;
    QVERIFY(line.start(9600));
    line.model().setFixedTemperature(231);
    line.model().setFixedHumidity(455);
    movra::Session &s = line.session;
    s.setCheck(Quantity::Temperature, {true, 230, 2});
    s.setCheck(Quantity::Humidity, {true, 450, 5});
    Trace trace(s);
    QVERIFY(line.connectAt(9600));
    s.setInterval(Quantity::Temperature, 1);
    s.setInterval(Quantity::Humidity, 2);
    s.setPeriodicReading(Quantity::Temperature, true);
    s.setPeriodicReading(Quantity::Humidity, true);
    QVERIFY(line.tick(300 - int(s.ticks())));

    QStringList sent;
    for (const QString &l : trace.of({"sent"}))
        sent << l.section(' ', 0, 2);
    QCOMPARE(joined(sent), joined({"20 sent 1", "100 sent 4", "200 sent 5", "300 sent 4"}));
    QCOMPARE(joined(trace.of({"measured"})),
             joined({"103 measured T=231 dev=1 pass",
                     "203 measured T=231 dev=1 pass H=455 dev=5 fail"}));
}

QTEST_MAIN(TestSessionSim)
#include "tst_session_sim.moc"
