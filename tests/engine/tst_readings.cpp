// Temperature and humidity without a port: the periodic schedule second by
// second and what stops it, manual reading, the ranges a reading must lie
// in, and the judgement against a reference and a tolerance.

#include <QtTest>
#include <limits>

#include "Bytes.h"
#include "EngineTest.h"

using enginetest::connectWithoutPort;
using enginetest::run;
using enginetest::Trace;
using movra::LinkState;
using movra::Quantity;
using movra::Session;
using movratest::hex;
using movratest::withCrc;

namespace {

QByteArray word(int value)
{
    QByteArray b;
    b.append(char((value >> 8) & 0xFF));
    b.append(char(value & 0xFF));
    return b;
}

// The reply of station 1 to a measurement request with these registers.
QByteArray readReply(std::initializer_list<int> registers)
{
    QByteArray body = hex("0103");
    body.append(char(registers.size() * 2));
    for (int r : registers)
        body += word(r);
    return withCrc(body);
}

} // namespace

class TestReadings : public QObject
{
    Q_OBJECT

private slots:
    void periodicSchedule_data();
    void periodicSchedule();
    void periodicOnlyWhileConnected_data();
    void periodicOnlyWhileConnected();
    void batchStopsPeriodicReadingAndTheOtherBatch_data();
    void batchStopsPeriodicReadingAndTheOtherBatch();
    void readNow_data();
    void readNow();

    void ranges_data();
    void ranges();
    void judgement_data();
    void judgement();
};

void TestReadings::periodicSchedule_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("codes");

    // "T<n>"/"H<n>": that reading every n seconds, "T-"/"H-": off, "s<k>":
    // k seconds pass. `codes` has one mark per second: the request sent, or
    // "-" for none.
    QTest::newRow("temperature 3 s, humidity 2 s") << "T3 H2 s12"
                                                   << "- 3 4 3 - 5 - 3 4 3 - 5";
    QTest::newRow("both every second") << "T1 H1 s4"
                                       << "5 5 5 5";
    QTest::newRow("temperature every second") << "T1 s3"
                                              << "4 4 4";
    QTest::newRow("humidity 1 s, temperature 3 s") << "T3 H1 s6"
                                                   << "3 3 5 3 3 5";
    QTest::newRow("a switched-off reading keeps its count") << "T3 s2 T- H5 s10 T3 s1"
                                                            << "- - - - - - 3 - - - - 3 4";
    QTest::newRow("a count beyond a shortened interval") << "T10 s7 T3 s4"
                                                         << "- - - - - - - 4 - - 4";
    QTest::newRow("counts out of step") << "T2 s1 H2 s4"
                                        << "- 4 3 4 3";
    QTest::newRow("both off") << "s3"
                              << "- - -";
}

void TestReadings::periodicSchedule()
{
    QFETCH(QString, script);
    QFETCH(QString, codes);

    Session s;
    s.setStation(7);
    QVERIFY(connectWithoutPort(s));
    Trace trace(s);

    const QMap<QString, QString> frames{{"3", withCrc(hex("070300000001")).toHex()},
                                        {"4", withCrc(hex("070300010001")).toHex()},
                                        {"5", withCrc(hex("070300000002")).toHex()}};
    QStringList sent;
    for (const QString &step : script.split(QLatin1Char(' '))) {
        const Quantity q =
            step.startsWith(QLatin1Char('T')) ? Quantity::Temperature : Quantity::Humidity;
        if (step.startsWith(QLatin1Char('s'))) {
            for (int second = 0; second < step.mid(1).toInt(); ++second) {
                trace.clear();
                run(s, 100);
                const QStringList out = trace.unstamped({"sent"});
                QVERIFY(out.size() <= 1);
                const QString code = out.isEmpty() ? "-" : out.first().section(' ', 1, 1);
                sent << code;
                if (!out.isEmpty())
                    QCOMPARE(out.first().section(' ', 2), frames.value(code));
            }
        } else if (step.mid(1) == QLatin1String("-")) {
            s.setPeriodicReading(q, false);
        } else {
            s.setInterval(q, step.mid(1).toInt());
            s.setPeriodicReading(q, true);
        }
    }
    QCOMPARE(sent.join(QLatin1Char(' ')), codes);
}

void TestReadings::periodicOnlyWhileConnected_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("sends");

    QTest::newRow("idle") << "idle" << false;
    QTest::newRow("connected") << "connected" << true;
    QTest::newRow("manual attempt") << "manual" << false;
    QTest::newRow("failed") << "failed" << false;
    QTest::newRow("disconnected") << "disconnected" << false;
}

void TestReadings::periodicOnlyWhileConnected()
{
    QFETCH(QString, state);
    QFETCH(bool, sends);

    Session s;
    if (state != QLatin1String("idle"))
        QVERIFY(connectWithoutPort(s));
    if (state == QLatin1String("disconnected"))
        s.disconnectByOperator();
    if (state == QLatin1String("manual")) {
        run(s, 57); // still trying when the second ends
        QVERIFY(s.beginManualConnect());
    }
    if (state == QLatin1String("failed")) {
        QVERIFY(s.beginManualConnect());
        run(s, 57);
        QCOMPARE(s.linkState(), LinkState::Failed);
    }
    s.setInterval(Quantity::Temperature, 1);
    s.setInterval(Quantity::Humidity, 1);
    s.setPeriodicReading(Quantity::Temperature, true);
    s.setPeriodicReading(Quantity::Humidity, true);
    Trace trace(s);

    run(s, 99 - int(s.ticks() % 100));
    QCOMPARE(trace.of({"sent"}), QStringList());
    s.tick();
    if (state == QLatin1String("manual"))
        QCOMPARE(s.linkState(), LinkState::ManualConnecting);
    QCOMPARE(trace.unstamped({"sent"}),
             sends ? QStringList{"sent 5 010300000002c40b"} : QStringList());
}

void TestReadings::batchStopsPeriodicReadingAndTheOtherBatch_data()
{
    QTest::addColumn<bool>("write");

    QTest::newRow("read") << false;
    QTest::newRow("write") << true;
}

void TestReadings::batchStopsPeriodicReadingAndTheOtherBatch()
{
    QFETCH(bool, write);

    Session s;
    QVERIFY(connectWithoutPort(s));
    s.setPeriodicReading(movra::Quantity::Temperature, true);
    s.setPeriodicReading(movra::Quantity::Humidity, true);
    write ? s.startBatchRead() : s.startBatchWrite();

    write ? s.startBatchWrite() : s.startBatchRead();

    QVERIFY(!s.periodicReading(movra::Quantity::Temperature));
    QVERIFY(!s.periodicReading(movra::Quantity::Humidity));
    QCOMPARE(s.batchWriteActive(), write);
    QCOMPARE(s.batchReadActive(), !write);
}

void TestReadings::readNow_data()
{
    QTest::addColumn<QString>("state");

    QTest::newRow("idle") << "idle";
    QTest::newRow("connected") << "connected";
    QTest::newRow("failed") << "failed";
    QTest::newRow("disconnected") << "disconnected";
}

void TestReadings::readNow()
{
    QFETCH(QString, state);

    Session s;
    if (state == QLatin1String("connected") || state == QLatin1String("disconnected"))
        QVERIFY(connectWithoutPort(s));
    if (state == QLatin1String("disconnected"))
        s.disconnectByOperator();
    if (state == QLatin1String("failed")) {
        QVERIFY(s.beginManualConnect());
        run(s, 60);
        QCOMPARE(s.linkState(), LinkState::Failed);
    }
    s.request(movra::ReqReadTempCorrection); // a request it replaces
    Trace trace(s);

    s.readNow();

    const bool connected = state == QLatin1String("connected");
    QCOMPARE(trace.unstamped({"log", "sent"}),
             connected ? (QStringList{"log 正在手动读取温湿度值", "sent 5 010300000002c40b"})
                       : QStringList());
    QCOMPARE(s.pendingRequest(),
             connected ? qint32(movra::ReqReadBoth) : qint32(movra::ReqReadTempCorrection));
}

void TestReadings::ranges_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("measured");

    QTest::newRow("humidity 1000") << 3 << readReply({1000}) << "H=1000";
    QTest::newRow("humidity 1001") << 3 << readReply({1001}) << "";
    QTest::newRow("humidity 65535") << 3 << readReply({65535}) << "";
    QTest::newRow("humidity 0") << 3 << readReply({0}) << "H=0";
    QTest::newRow("temperature 1000") << 4 << readReply({1000}) << "T=1000";
    QTest::newRow("temperature 1001") << 4 << readReply({1001}) << "";
    QTest::newRow("temperature -550") << 4 << readReply({-550}) << "T=-550";
    QTest::newRow("temperature -551") << 4 << readReply({-551}) << "";
    QTest::newRow("temperature -32768") << 4 << readReply({-32768}) << "";
    QTest::newRow("temperature -5") << 4 << readReply({-5}) << "T=-5";
    QTest::newRow("temperature 0") << 4 << readReply({0}) << "T=0";
    QTest::newRow("both") << 5 << readReply({455, 231}) << "T=231 H=455";
    QTest::newRow("both, humidity out of range") << 5 << readReply({1200, 231}) << "T=231";
    QTest::newRow("both, temperature out of range") << 5 << readReply({455, 1200}) << "H=455";
    QTest::newRow("both out of range") << 5 << readReply({1001, -551}) << "";
    QTest::newRow("humidity asked, two registers") << 3 << readReply({455, 231}) << "H=455";
    QTest::newRow("temperature asked, two registers") << 4 << readReply({455, 231}) << "T=455";
}

void TestReadings::ranges()
{
    QFETCH(int, code);
    QFETCH(QByteArray, reply);
    QFETCH(QString, measured);

    Session s;
    s.request(code);
    Trace trace(s);
    s.receive(reply);
    run(s, 3);

    QCOMPARE(trace.unstamped({"measured"}),
             measured.isEmpty() ? QStringList() : QStringList{"measured " + measured});
    // Out of range or not, the reply settles the request.
    QCOMPARE(trace.unstamped({"settled"}), QStringList{"settled " + QString::number(code)});
}

void TestReadings::judgement_data()
{
    QTest::addColumn<bool>("humidity");
    QTest::addColumn<bool>("on");
    QTest::addColumn<qint64>("reference");
    QTest::addColumn<quint64>("tolerance");
    QTest::addColumn<int>("reading");
    QTest::addColumn<QString>("measured");

    const qint64 i32min = std::numeric_limits<qint32>::min();
    const qint64 i32max = std::numeric_limits<qint32>::max();
    const qint64 i64min = std::numeric_limits<qint64>::min();
    const quint64 u32max = std::numeric_limits<quint32>::max();
    const quint64 u64max = std::numeric_limits<quint64>::max();

    QTest::newRow("25.3 vs 25.0, 0.5")
        << false << true << qint64(250) << quint64(5) << 253 << "T=253 dev=3 pass";
    QTest::newRow("deviation equal to the tolerance fails")
        << false << true << qint64(250) << quint64(3) << 253 << "T=253 dev=3 fail";
    QTest::newRow("one tenth inside")
        << false << true << qint64(250) << quint64(4) << 253 << "T=253 dev=3 pass";
    QTest::newRow("below the reference")
        << false << true << qint64(260) << quint64(10) << 253 << "T=253 dev=7 pass";
    QTest::newRow("check off") << false << false << qint64(250) << quint64(5) << 253 << "T=253";
    QTest::newRow("negative both")
        << false << true << qint64(-120) << quint64(5) << -123 << "T=-123 dev=3 pass";
    QTest::newRow("tolerance 0 fails even an exact reading")
        << false << true << qint64(250) << quint64(0) << 250 << "T=250 dev=0 fail";
    QTest::newRow("reference far below")
        << false << true << i32min << u32max << 1000 << "T=1000 dev=2147484648 pass";
    QTest::newRow("reference far above")
        << false << true << i32max << quint64(0) << -550 << "T=-550 dev=2147484197 fail";
    QTest::newRow("reference at the 64-bit minimum")
        << false << true << i64min << u64max << 1000 << "T=1000 dev=9223372036854776808 pass";

    QTest::newRow("humidity 45.0 vs 50.0, 5.0")
        << true << true << qint64(500) << quint64(50) << 450 << "H=450 dev=50 fail";
    QTest::newRow("humidity 50.1 vs 50.0, 0.5")
        << true << true << qint64(500) << quint64(5) << 501 << "H=501 dev=1 pass";
    QTest::newRow("humidity check off")
        << true << false << qint64(500) << quint64(50) << 450 << "H=450";
    QTest::newRow("humidity reference at its maximum")
        << true << true << qint64(65535) << quint64(65535) << 0 << "H=0 dev=65535 fail";
    QTest::newRow("humidity above reference 0")
        << true << true << qint64(0) << quint64(65535) << 1000 << "H=1000 dev=1000 pass";
}

void TestReadings::judgement()
{
    QFETCH(bool, humidity);
    QFETCH(bool, on);
    QFETCH(qint64, reference);
    QFETCH(quint64, tolerance);
    QFETCH(int, reading);
    QFETCH(QString, measured);

    Session s;
    const Quantity q = humidity ? Quantity::Humidity : Quantity::Temperature;
    s.setCheck(q, {on, reference, tolerance});
    s.request(humidity ? movra::ReqReadHumidity : movra::ReqReadTemperature);
    Trace trace(s);
    s.receive(readReply({reading}));
    run(s, 3);

    QCOMPARE(trace.unstamped({"measured"}), QStringList{"measured " + measured});
}

QTEST_MAIN(TestReadings)
#include "tst_readings.moc"
