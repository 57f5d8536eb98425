// The simulated transmitter: replies byte for byte, framing, faults, and the
// pseudo-terminal and serial-port transports with a real QSerialPort.

#include "Bytes.h"
#include "DeviceModel.h"
#include "Faults.h"
#include "Pty.h"
#include "Settling.h"
#include "SimulatorHost.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

using movrasim::DeviceModel;
using movrasim::Emission;
using movrasim::Faults;
using movrasim::Settling;

namespace {

using movratest::hex;

// Golden request and reply: address 1 reads 0x0000 and 0x0001, the device
// holds 60.0 %RH and 25.0 degC.
const char measureRequest[] = "010300000002C40B";
const char measureReply[] = "010304025800FAFA1B";

QByteArray measureReq()
{
    return hex(measureRequest);
}
QByteArray measureRep()
{
    return hex(measureReply);
}

// Corrections and raw readings chosen so the reported values are the
// golden 600 and 250 only when both corrections are applied.
void prepare(DeviceModel &m)
{
    m.setFixedHumidity(580);
    m.setFixedTemperature(265);
    m.setHumidityCorrection(20);
    m.setTemperatureCorrection(-15);
    m.setOrderMode(quint16(movra::OrderMode::HumidityFirst));
}

QByteArray joined(const QVector<Emission> &emissions)
{
    QByteArray all;
    for (const Emission &e : emissions)
        all += e.bytes;
    return all;
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void identification_data();
    void identification();
    void orderMode_data();
    void orderMode();
    void unitErrorAndNoise();
    void writes_data();
    void writes();
    void baudRateTakesEffectAfterRestart_data();
    void baudRateTakesEffectAfterRestart();
    void stationAddressChangeMovesTheDevice();
    void lineSpeed_data();
    void lineSpeed();
    void framing_data();
    void framing();
    void faults_data();
    void faults();
    void drop_data();
    void drop();
    void garbage();
    void parseFaults_data();
    void parseFaults();
    void settling_data();
    void settling();
    void settlingEnds_data();
    void settlingEnds();
    void pinAndSettleReplaceEachOther();
    void parseSettling_data();
    void parseSettling();

    void ptyWithQSerialPort();
    void ptyWrongBaudGetsNoAnswer_data();
    void ptyWrongBaudGetsNoAnswer();
    void ptyLinkFollowsLifetime();
    void ptyRepliesKeepTheirTiming();
    void serialPortTransport();
};

void TestSimulator::replies_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("humidity and temperature") << measureReq() << measureRep();
    QTest::newRow("humidity alone") << hex("010300000001840A") << hex("0103020258B8DE");
    QTest::newRow("temperature alone") << hex("010300010001D5CA") << hex("01030200FA3807");
    QTest::newRow("second test-mode probe at address 0")
        << hex("000300000002C5DA") << hex("000304025800FAEADB");
    QTest::newRow("station address") << hex("0003010000018427") << hex("00030200014444");
    QTest::newRow("temperature correction") << hex("00030050000185CA") << hex("000302FFF105F0");
    QTest::newRow("humidity correction") << hex("000300510001D40A") << hex("0003020014858B");
    QTest::newRow("order mode") << hex("000300520001240A") << hex("00030200014444");
    QTest::newRow("test-mode probe at 0xFD")
        << hex("FD0301000002D1CB") << hex("FD03040001000097FC");
    QTest::newRow("baud rate read") << hex("FDFDFD0000E988") << hex("FDFDFD0300E978");
    QTest::newRow("write echo") << hex("00060050FFF1087E") << hex("00060050FFF1087E");
    QTest::newRow("unknown register") << hex("01030002000125CA") << hex("018302C0F1");
    QTest::newRow("read past the block") << hex("01030001000295CB") << hex("018302C0F1");
    QTest::newRow("count zero") << hex("01030000000045CA") << hex("0183030131");
    QTest::newRow("unknown function") << hex("01040000000131CA") << hex("01840182C0");
    QTest::newRow("write read-only register") << hex("0006000000054818") << hex("0086029261");
    QTest::newRow("station address out of range") << hex("0006010000FFC9A7") << hex("00860353A1");
    QTest::newRow("other station") << hex("020300000002C438") << QByteArray();
    QTest::newRow("0xFD outside the address block") << hex("FD03000000019036") << QByteArray();
    QTest::newRow("request with bad CRC") << hex("010300000002C40C") << QByteArray();
    QTest::newRow("unknown baud code") << hex("FDFDFD0900EFD8") << QByteArray();
}

void TestSimulator::replies()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    DeviceModel m;
    prepare(m);
    const QVector<Emission> out = m.receive(request);
    QCOMPARE(joined(out), reply);
    QVERIFY(out.size() <= 1);
    if (!out.isEmpty())
        QCOMPARE(out.first().delayMs, 0);
}

void TestSimulator::identification_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("answered");

    QTest::newRow("address 0") << hex("0006011000008822") << true;
    QTest::newRow("own station") << hex("01060110000089F3") << true;
    QTest::newRow("other station") << hex("02060110000089C0") << false;
}

void TestSimulator::identification()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, answered);
    DeviceModel m;
    const QByteArray reply = joined(m.receive(request));
    QCOMPARE(reply.contains("KVT582"), answered);
    if (answered)
        QVERIFY(reply.contains('\0'));
    else
        QVERIFY(reply.isEmpty());
}

void TestSimulator::orderMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("hardware") << 0 << measureRep();
    QTest::newRow("humidity first") << 1 << measureRep();
    QTest::newRow("temperature first") << 2 << hex("01030400FA0258DA98");
}

void TestSimulator::orderMode()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, reply);
    DeviceModel m;
    prepare(m);
    m.setOrderMode(quint16(mode));
    QCOMPARE(joined(m.receive(measureReq())), reply);
}

void TestSimulator::unitErrorAndNoise()
{
    DeviceModel m;
    m.setFixedTemperature(250);
    m.setFixedHumidity(500);
    m.setTemperatureError(13);
    m.setHumidityError(-22);
    QCOMPARE(int(m.temperature()), 263);
    QCOMPARE(int(m.humidity()), 478);
    m.setTemperatureCorrection(-13);
    m.setHumidityCorrection(22);
    QCOMPARE(int(m.temperature()), 250);
    QCOMPARE(int(m.humidity()), 500);

    // Noise of 0.3 degC: its spread shows, and a seed repeats it.
    m.setNoise(3.0, 0.0);
    const auto draw = [&m] {
        QVector<int> v;
        for (int i = 0; i < 2000; ++i)
            v << m.temperature();
        return v;
    };
    Faults seeded;
    seeded.seed = 7;
    m.setFaults(seeded);
    const QVector<int> first = draw();
    m.setFaults(seeded);
    QCOMPARE(draw(), first);
    double sum = 0, squares = 0;
    for (int v : first) {
        sum += v - 250;
        squares += double(v - 250) * (v - 250);
    }
    const double mean = sum / first.size();
    const double sd = std::sqrt(squares / first.size() - mean * mean);
    QVERIFY2(std::fabs(mean) < 0.3 && sd > 2.7 && sd < 3.3,
             qPrintable(QStringLiteral("mean %1, sd %2").arg(mean).arg(sd)));
    QCOMPARE(int(m.humidity()), 500);
}

enum class Field { TempCorrection, HumiCorrection, Order, Address };
Q_DECLARE_METATYPE(Field)

void TestSimulator::writes_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("echoed");
    QTest::addColumn<Field>("field");
    QTest::addColumn<int>("value");

    QTest::newRow("temperature correction -1.5")
        << hex("00060050FFF1087E") << true << Field::TempCorrection << -15;
    QTest::newRow("humidity correction 3.7")
        << hex("0006005100251811") << true << Field::HumiCorrection << 37;
    QTest::newRow("order mode 2") << hex("000600520002A80B") << true << Field::Order << 2;
    QTest::newRow("station address 5") << hex("00060100000549E4") << true << Field::Address << 5;
    // Refused writes leave the defaults.
    QTest::newRow("correction above 100.0")
        << hex("0006005003E94974") << false << Field::TempCorrection << 0;
    QTest::newRow("correction below -100.0")
        << hex("00060050FC178904") << false << Field::TempCorrection << 0;
    QTest::newRow("order mode 3") << hex("00060052000369CB") << false << Field::Order << 0;
    QTest::newRow("station address 255") << hex("0006010000FFC9A7") << false << Field::Address << 1;
}

void TestSimulator::writes()
{
    QFETCH(QByteArray, request);
    QFETCH(bool, echoed);
    QFETCH(Field, field);
    QFETCH(int, value);
    DeviceModel m;
    const QByteArray reply = joined(m.receive(request));
    if (echoed) {
        QCOMPARE(reply, request);
    } else {
        QCOMPARE(reply.size(), 5);
        QCOMPARE(quint8(reply.at(1)), quint8(0x86));
    }
    switch (field) {
    case Field::TempCorrection:
        QCOMPARE(int(m.temperatureCorrection()), value);
        break;
    case Field::HumiCorrection:
        QCOMPARE(int(m.humidityCorrection()), value);
        break;
    case Field::Order:
        QCOMPARE(int(m.orderMode()), value);
        break;
    case Field::Address:
        QCOMPARE(int(m.address()), value);
        break;
    }
}

void TestSimulator::baudRateTakesEffectAfterRestart_data()
{
    QTest::addColumn<QByteArray>("setFrame");
    QTest::addColumn<int>("rate");

    QTest::newRow("2400") << hex("FDFDFD0100E818") << 2400;
    QTest::newRow("4800") << hex("FDFDFD0200E8E8") << 4800;
    QTest::newRow("9600") << hex("FDFDFD0300E978") << 9600;
    QTest::newRow("19200") << hex("FDFDFD0400EB48") << 19200;
    QTest::newRow("38400") << hex("FDFDFD0500EAD8") << 38400;
    QTest::newRow("57600") << hex("FDFDFD0600EA28") << 57600;
    QTest::newRow("115200") << hex("FDFDFD0700EBB8") << 115200;
}

void TestSimulator::baudRateTakesEffectAfterRestart()
{
    QFETCH(QByteArray, setFrame);
    QFETCH(int, rate);
    const QByteArray readFrame = hex("FDFDFD0000E988");
    const QByteArray restartFrame = hex("000601040000C826");
    DeviceModel m;

    QCOMPARE(joined(m.receive(setFrame)), setFrame);
    QCOMPARE(m.baudRate(), 9600);
    QCOMPARE(m.pendingBaudRate(), rate);
    // Until the restart the device still reports and runs at the old rate.
    QCOMPARE(joined(m.receive(readFrame)), hex("FDFDFD0300E978"));

    QCOMPARE(joined(m.receive(restartFrame)), restartFrame);
    QCOMPARE(m.baudRate(), rate);
    QCOMPARE(m.pendingBaudRate(), 0);
    QCOMPARE(joined(m.receive(readFrame, rate)), setFrame);
}

void TestSimulator::stationAddressChangeMovesTheDevice()
{
    DeviceModel m;
    prepare(m);
    QCOMPARE(joined(m.receive(hex("00060100000549E4"))), hex("00060100000549E4"));
    QVERIFY(m.receive(measureReq()).isEmpty());
    QCOMPARE(joined(m.receive(hex("050300000002C58F"))), hex("050304025800FABFDB"));
}

void TestSimulator::lineSpeed_data()
{
    QTest::addColumn<int>("deviceRate");
    QTest::addColumn<int>("lineRate");
    QTest::addColumn<bool>("answered");

    QTest::newRow("matching") << 9600 << 9600 << true;
    QTest::newRow("unknown line speed") << 9600 << 0 << true;
    QTest::newRow("line slower") << 9600 << 4800 << false;
    QTest::newRow("line faster") << 9600 << 115200 << false;
    QTest::newRow("device moved on") << 19200 << 9600 << false;
    QTest::newRow("device moved, line follows") << 19200 << 19200 << true;
    QTest::newRow("line at a speed outside the table") << 9600 << -1 << false;
}

void TestSimulator::lineSpeed()
{
    QFETCH(int, deviceRate);
    QFETCH(int, lineRate);
    QFETCH(bool, answered);
    DeviceModel m;
    prepare(m);
    m.setBaudRate(deviceRate);
    QCOMPARE(joined(m.receive(measureReq(), lineRate)), answered ? measureRep() : QByteArray());
}

void TestSimulator::framing_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("buffered");

    QByteArrayList bytewise;
    for (char c : measureReq())
        bytewise << QByteArray(1, c);
    QTest::newRow("one byte at a time") << bytewise << measureRep() << 0;
    QTest::newRow("noise first") << QByteArrayList{hex("5AA5") + measureReq()} << measureRep() << 0;
    QTest::newRow("noise in its own read")
        << QByteArrayList{hex("FD00"), measureReq()} << measureRep() << 0;
    QTest::newRow("two requests in one read")
        << QByteArrayList{measureReq() + hex("010300010001D5CA")}
        << measureRep() + hex("01030200FA3807") << 0;
    QTest::newRow("corrupted request, then a good one")
        << QByteArrayList{hex("010300000002C40C"), measureReq()} << measureRep() << 0;
    QTest::newRow("baud frame followed by a request")
        << QByteArrayList{hex("FDFDFD0000E988") + measureReq()}
        << hex("FDFDFD0300E978") + measureRep() << 0;
    QTest::newRow("truncated request waits")
        << QByteArrayList{measureReq().left(7)} << QByteArray() << 7;
}

void TestSimulator::framing()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QByteArray, output);
    QFETCH(int, buffered);
    DeviceModel m;
    prepare(m);
    QByteArray all;
    for (int i = 0; i < pieces.size(); ++i) {
        const QByteArray out = joined(m.receive(pieces.at(i)));
        // Nothing may be answered before the frame is complete.
        if (i + 1 < pieces.size() && pieces.size() > 2)
            QVERIFY2(out.isEmpty(), qPrintable(QString::number(i)));
        all += out;
    }
    QCOMPARE(all, output);
    QCOMPARE(m.bufferedBytes(), buffered);
}

void TestSimulator::faults_data()
{
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QList<int>>("delays");
    QTest::addColumn<QByteArrayList>("pieces");

    const QByteArray write = hex("00060050FFF1087E");
    const QByteArray ident = DeviceModel::identificationText();
    QTest::newRow("none") << QString() << measureReq() << QList<int>{0}
                          << QByteArrayList{measureRep()};
    QTest::newRow("silent") << "silent" << measureReq() << QList<int>{} << QByteArrayList{};
    QTest::newRow("bad CRC") << "badcrc" << measureReq() << QList<int>{0}
                             << QByteArrayList{hex("010304025800FA05E4")};
    QTest::newRow("bad CRC on a write echo")
        << "badcrc" << write << QList<int>{0} << QByteArrayList{hex("00060050FFF1F781")};
    QTest::newRow("bad CRC leaves the identification text")
        << "badcrc" << hex("0006011000008822") << QList<int>{0} << QByteArrayList{ident};
    QTest::newRow("delay") << "delay=250" << measureReq() << QList<int>{250}
                           << QByteArrayList{measureRep()};
    QTest::newRow("split") << "split=40" << measureReq() << QList<int>{0, 40}
                           << QByteArrayList{hex("01030402"), hex("5800FAFA1B")};
    QTest::newRow("delay and split") << "delay=20,split=5" << measureReq() << QList<int>{20, 5}
                                     << QByteArrayList{hex("01030402"), hex("5800FAFA1B")};
    QTest::newRow("echo") << "echo" << measureReq() << QList<int>{0, 0}
                          << QByteArrayList{measureReq(), measureRep()};
    QTest::newRow("echo before a delayed reply")
        << "echo,delay=100" << measureReq() << QList<int>{0, 100}
        << QByteArrayList{measureReq(), measureRep()};
    QTest::newRow("echo while silent")
        << "echo,silent" << measureReq() << QList<int>{0} << QByteArrayList{measureReq()};
    QTest::newRow("echo for another station") << "echo" << hex("020300000002C438") << QList<int>{0}
                                              << QByteArrayList{hex("020300000002C438")};
    QTest::newRow("exception on a read")
        << "exception" << measureReq() << QList<int>{0} << QByteArrayList{hex("01830180F0")};
    QTest::newRow("exception on a write")
        << "exception" << write << QList<int>{0} << QByteArrayList{hex("008601D260")};
    QTest::newRow("exception spares the baud-rate frame")
        << "exception" << hex("FDFDFD0000E988") << QList<int>{0}
        << QByteArrayList{hex("FDFDFD0300E978")};
    QTest::newRow("exception only for this device")
        << "exception" << hex("020300000002C438") << QList<int>{} << QByteArrayList{};
}

void TestSimulator::faults()
{
    QFETCH(QString, faults);
    QFETCH(QByteArray, request);
    QFETCH(QList<int>, delays);
    QFETCH(QByteArrayList, pieces);
    Faults f;
    QString error;
    QVERIFY2(movrasim::parseFaults({faults}, &f, &error), qPrintable(error));
    DeviceModel m;
    prepare(m);
    m.setFaults(f);
    const QVector<Emission> out = m.receive(request);
    QList<int> gotDelays;
    QByteArrayList gotPieces;
    for (const Emission &e : out) {
        gotDelays << e.delayMs;
        gotPieces << e.bytes;
    }
    QCOMPARE(gotPieces, pieces);
    QCOMPARE(gotDelays, delays);
}

void TestSimulator::drop_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("fewest");
    QTest::addColumn<int>("most");

    QTest::newRow("none") << 0 << 200 << 200;
    QTest::newRow("all") << 100 << 0 << 0;
    QTest::newRow("half") << 50 << 70 << 130;
    QTest::newRow("a tenth") << 10 << 160 << 195;
}

void TestSimulator::drop()
{
    QFETCH(int, percent);
    QFETCH(int, fewest);
    QFETCH(int, most);
    auto pattern = [percent](quint32 seed) {
        DeviceModel m;
        Faults f;
        f.dropPercent = percent;
        f.seed = seed;
        m.setFaults(f);
        QString answered;
        for (int i = 0; i < 200; ++i)
            answered += m.receive(measureReq()).isEmpty() ? QLatin1Char('-') : QLatin1Char('x');
        return answered;
    };
    const QString first = pattern(7);
    const int count = first.count(QLatin1Char('x'));
    QVERIFY2(count >= fewest && count <= most, qPrintable(QString::number(count)));
    QCOMPARE(pattern(7), first);
    if (percent > 0 && percent < 100)
        QVERIFY(pattern(8) != first);
}

void TestSimulator::garbage()
{
    auto run = [](quint32 seed) {
        DeviceModel m;
        prepare(m);
        Faults f;
        f.garbageGapMs = 60;
        f.seed = seed;
        m.setFaults(f);
        return m.receive(measureReq());
    };
    const QVector<Emission> out = run(3);
    QCOMPARE(out.size(), 2);
    QVERIFY(out.at(0).bytes.size() >= 4 && out.at(0).bytes.size() <= 16);
    QCOMPARE(out.at(0).delayMs, 0);
    QCOMPARE(out.at(1), (Emission{60, measureRep()}));
    QCOMPARE(run(3).at(0).bytes, out.at(0).bytes);
    QVERIFY(run(4).at(0).bytes != out.at(0).bytes);
}

void TestSimulator::parseFaults_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("normalised");

    QTest::newRow("nothing") << "" << true << "none";
    QTest::newRow("silent") << "silent" << true << "silent";
    QTest::newRow("drop with default seed") << "drop=30" << true << "drop=30,seed=1";
    QTest::newRow("split default gap") << "split" << true << "split=50";
    QTest::newRow("garbage with seed") << "garbage=10,seed=9" << true << "garbage=10,seed=9";
    QTest::newRow("case and blanks") << " DELAY=5 , Echo" << true << "delay=5,echo";
    QTest::newRow("everything") << "silent,badcrc,drop=1,delay=2,split=3,echo,exception,garbage=4"
                                << true
                                << "silent,badcrc,drop=1,delay=2,split=3,echo,exception,"
                                   "garbage=4,seed=1";
    QTest::newRow("drop above 100") << "drop=101" << false << "";
    QTest::newRow("drop without value") << "drop" << false << "";
    QTest::newRow("negative delay") << "delay=-1" << false << "";
    QTest::newRow("split not a number") << "split=x" << false << "";
    QTest::newRow("silent with value") << "silent=1" << false << "";
    QTest::newRow("unknown") << "loud" << false << "";
    QTest::newRow("one bad item spoils the list") << "echo,bogus" << false << "";
}

void TestSimulator::parseFaults()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, normalised);
    Faults f;
    if (!valid)
        f.delayMs = 77; // a failed parse must leave the faults as they were
    QString error;
    QCOMPARE(movrasim::parseFaults({text}, &f, &error), valid);
    if (valid) {
        QCOMPARE(movrasim::faultsText(f), normalised);
    } else {
        QCOMPARE(f.delayMs, 77);
        QVERIFY(!error.isEmpty());
    }
}

// ---- readings on the move ----

namespace {
using Shape = Settling::Shape;
Settling change(Shape shape, int from, int to, qint64 timeMs)
{
    Settling s;
    s.shape = shape;
    s.from = from;
    s.to = to;
    s.timeMs = timeMs;
    return s;
}
} // namespace

Q_DECLARE_METATYPE(movrasim::Settling)

// What the device reports, corrections and its limits applied, at times
// after the change began on its clock.
void TestSimulator::settling_data()
{
    QTest::addColumn<bool>("humidity");
    QTest::addColumn<Settling>("change");
    QTest::addColumn<int>("correction");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<int>("reported");

    const Settling up = change(Shape::FirstOrder, 200, 250, 8000);
    // The --help example: 20.0, 23.2 after 8 s, 24.9 after 30 s, 25.0 from 37 s.
    QTest::newRow("settle: at the start") << false << up << 0 << qint64(0) << 200;
    QTest::newRow("settle: one time constant") << false << up << 0 << qint64(8000) << 232;
    QTest::newRow("settle: after 30 s") << false << up << 0 << qint64(30000) << 249;
    QTest::newRow("settle: just short of the end") << false << up << 0 << qint64(36500) << 249;
    QTest::newRow("settle: the end") << false << up << 0 << qint64(37000) << 250;
    QTest::newRow("settle: an hour on") << false << up << 0 << qint64(3600000) << 250;
    QTest::newRow("settle: correction added") << false << up << -15 << qint64(8000) << 217;
    QTest::newRow("settle down: one time constant")
        << false << change(Shape::FirstOrder, 250, 200, 8000) << 0 << qint64(8000) << 218;
    QTest::newRow("settle below zero")
        << false << change(Shape::FirstOrder, 50, -100, 2000) << 0 << qint64(2000) << -45;
    QTest::newRow("step: at once")
        << false << change(Shape::FirstOrder, 200, 250, 0) << 0 << qint64(0) << 250;
    const Settling ramp = change(Shape::Ramp, 400, 500, 5000);
    QTest::newRow("ramp: at the start") << true << ramp << 0 << qint64(0) << 400;
    QTest::newRow("ramp: a fifth") << true << ramp << 0 << qint64(1000) << 420;
    QTest::newRow("ramp: half way") << true << ramp << 0 << qint64(2500) << 450;
    QTest::newRow("ramp: the end") << true << ramp << 0 << qint64(5000) << 500;
    QTest::newRow("ramp: past the end") << true << ramp << 0 << qint64(60000) << 500;
    QTest::newRow("ramp down, temperature")
        << false << change(Shape::Ramp, -100, -200, 10000) << 0 << qint64(5000) << -150;
    // Humidity stays within dry and saturated air, whatever the correction.
    QTest::newRow("clamped: settling above saturation")
        << true << change(Shape::FirstOrder, 950, 1000, 1000) << 30 << qint64(60000) << 1000;
    QTest::newRow("clamped: on the way up")
        << true << change(Shape::FirstOrder, 950, 1000, 1000) << 30 << qint64(1000) << 1000;
    QTest::newRow("not clamped: before the limit")
        << true << change(Shape::FirstOrder, 950, 1000, 1000) << 30 << qint64(0) << 980;
    QTest::newRow("clamped: ramp below dry")
        << true << change(Shape::Ramp, 100, 0, 4000) << -50 << qint64(3000) << 0;
    QTest::newRow("not clamped: ramp above dry")
        << true << change(Shape::Ramp, 100, 0, 4000) << -50 << qint64(1000) << 25;
}

void TestSimulator::settling()
{
    QFETCH(bool, humidity);
    QFETCH(Settling, change);
    QFETCH(int, correction);
    QFETCH(qint64, elapsedMs);
    QFETCH(int, reported);
    DeviceModel m;
    // Starts long after power-up: the change counts from its own start.
    qint64 now = 50000;
    m.setClock([&now] { return now; });
    if (humidity) {
        m.setHumidityCorrection(qint16(correction));
        m.settleHumidity(change);
    } else {
        m.setTemperatureCorrection(qint16(correction));
        m.settleTemperature(change);
    }
    now += elapsedMs;
    QCOMPARE(humidity ? int(m.humidity()) : int(m.temperature()), reported);
    // The register the tool reads holds the same value.
    const quint16 reg = humidity ? movra::RegHumidity : movra::RegTemperature;
    QCOMPARE(int(humidity ? m.measurementRegister(reg) : qint16(m.measurementRegister(reg))),
             reported);
}

// durationMs() is when the change reads its end value for good: not before.
void TestSimulator::settlingEnds_data()
{
    QTest::addColumn<Settling>("change");
    QTest::addColumn<qint64>("durationMs");
    QTest::newRow("settle up") << change(Shape::FirstOrder, 200, 250, 8000) << qint64(36841);
    QTest::newRow("settle down") << change(Shape::FirstOrder, 250, 200, 3000) << qint64(13816);
    QTest::newRow("settle by one tenth")
        << change(Shape::FirstOrder, 200, 201, 3000) << qint64(2080);
    QTest::newRow("ramp") << change(Shape::Ramp, 400, 500, 5000) << qint64(5000);
    QTest::newRow("step") << change(Shape::FirstOrder, 200, 250, 0) << qint64(0);
    QTest::newRow("no change") << change(Shape::FirstOrder, 200, 200, 3000) << qint64(0);
}

void TestSimulator::settlingEnds()
{
    QFETCH(Settling, change);
    QFETCH(qint64, durationMs);
    const qint64 end = change.durationMs();
    QVERIFY2(qAbs(end - durationMs) <= 1, qPrintable(QString::number(end)));
    for (qint64 t = end; t <= end + 10 * change.timeMs; t += 250)
        QCOMPARE(change.valueAt(t), change.to);
    if (end > 0)
        QVERIFY(change.valueAt(end - 50) != change.to);
}

void TestSimulator::pinAndSettleReplaceEachOther()
{
    DeviceModel m;
    qint64 now = 0;
    m.setClock([&now] { return now; });
    m.setFixedTemperature(qint16(236));
    m.settleTemperature(change(Shape::FirstOrder, 200, 250, 3000));
    QCOMPARE(int(m.temperature()), 200); // the change wins over the pin
    now = 3000;
    QCOMPARE(int(m.temperature()), 232);
    m.setFixedTemperature(qint16(236)); // and a pin ends the change
    now = 60000;
    QCOMPARE(int(m.temperature()), 236);
    // Humidity moves on its own.
    m.setFixedHumidity(quint16(452));
    m.settleHumidity(change(Shape::Ramp, 400, 600, 10000));
    now += 5000;
    QCOMPARE(int(m.humidity()), 500);
    QCOMPARE(int(m.temperature()), 236);
}

void TestSimulator::parseSettling_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("humidity");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<qint64>("timeMs");

    QTest::newRow("temperature") << "20.0:25.0:8" << false << true << 200 << 250 << qint64(8000);
    QTest::newRow("whole numbers, blanks")
        << " 20 : 25 : 8 " << false << true << 200 << 250 << qint64(8000);
    QTest::newRow("below zero, fractional seconds")
        << "-12.5:-30.1:2.5" << false << true << -125 << -301 << qint64(2500);
    QTest::newRow("plain step") << "20:25:0" << false << true << 200 << 250 << qint64(0);
    QTest::newRow("range ends") << "-40:125:86400" << false << true << -400 << 1250
                                << qint64(86400000);
    QTest::newRow("humidity") << "0:100:60" << true << true << 0 << 1000 << qint64(60000);
    QTest::newRow("humidity above 100") << "40:100.1:60" << true << false << 0 << 0 << qint64(0);
    QTest::newRow("temperature below -40") << "-40.1:20:5" << false << false << 0 << 0 << qint64(0);
    QTest::newRow("two fields") << "20:25" << false << false << 0 << 0 << qint64(0);
    QTest::newRow("four fields") << "20:25:8:1" << false << false << 0 << 0 << qint64(0);
    QTest::newRow("not a number") << "20:x:8" << false << false << 0 << 0 << qint64(0);
    QTest::newRow("negative seconds") << "20:25:-1" << false << false << 0 << 0 << qint64(0);
    QTest::newRow("more than a day") << "20:25:86401" << false << false << 0 << 0 << qint64(0);
    QTest::newRow("empty") << "" << false << false << 0 << 0 << qint64(0);
}

void TestSimulator::parseSettling()
{
    QFETCH(QString, text);
    QFETCH(bool, humidity);
    QFETCH(bool, valid);
    QString error;
    const auto parsed = movrasim::parseSettling(text, Shape::Ramp, humidity ? 0.0 : -40.0,
                                                humidity ? 100.0 : 125.0, &error);
    QCOMPARE(parsed.has_value(), valid);
    if (!valid) {
        QVERIFY(error.contains(text));
        return;
    }
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(qint64, timeMs);
    QCOMPARE(parsed->shape, Shape::Ramp);
    QCOMPARE(parsed->from, from);
    QCOMPARE(parsed->to, to);
    QCOMPARE(parsed->timeMs, timeMs);
}

// ---- over a pseudo-terminal, with the device in this process ----

namespace {

struct Client
{
    QSerialPort port;
    QByteArray rx;

    bool open(const QString &path, qint32 rate)
    {
        port.setPortName(path);
        port.setBaudRate(rate);
        QObject::connect(&port, &QSerialPort::readyRead, [this] { rx += port.readAll(); });
        return port.open(QIODevice::ReadWrite);
    }
};

} // namespace

void TestSimulator::ptyWithQSerialPort()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("no pseudo-terminals here");
    movrasim::SimulatorHost host;
    prepare(host.model());
    const QString path = host.start();
    QVERIFY2(!path.isEmpty(), qPrintable(host.errorString()));

    Client c;
    QVERIFY2(c.open(path, 9600), qPrintable(c.port.errorString()));
    c.port.write(hex("0006011000008822"));
    QTRY_VERIFY_WITH_TIMEOUT(c.rx.contains("V1.31"), 3000);
    QVERIFY(c.rx.contains("KVT582"));

    c.rx.clear();
    c.port.write(measureReq());
    QTRY_COMPARE_WITH_TIMEOUT(c.rx.size(), measureRep().size(), 3000);
    QCOMPARE(c.rx, measureRep());
}

void TestSimulator::ptyWrongBaudGetsNoAnswer_data()
{
    QTest::addColumn<int>("deviceRate");
    QTest::addColumn<int>("portRate");

    QTest::newRow("2400 against 9600") << 9600 << 2400;
    QTest::newRow("4800 against 9600") << 9600 << 4800;
    QTest::newRow("19200 against 9600") << 9600 << 19200;
    QTest::newRow("115200 against 9600") << 9600 << 115200;
    QTest::newRow("9600 against 38400") << 38400 << 9600;
    QTest::newRow("57600 against 115200") << 115200 << 57600;
}

void TestSimulator::ptyWrongBaudGetsNoAnswer()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("no pseudo-terminals here");
    QFETCH(int, deviceRate);
    QFETCH(int, portRate);
    movrasim::SimulatorHost host;
    prepare(host.model());
    host.model().setBaudRate(deviceRate);
    const QString path = host.start();
    QVERIFY2(!path.isEmpty(), qPrintable(host.errorString()));
    QSignalSpy heard(&host, &movrasim::SimulatorHost::bytesReceived);

    Client c;
    QVERIFY2(c.open(path, portRate), qPrintable(c.port.errorString()));
    c.port.write(measureReq());
    QTRY_VERIFY_WITH_TIMEOUT(heard.count() >= 1, 3000);

    // The first request has been dealt with; at the right speed the same
    // request is answered, and only once.
    QVERIFY(c.port.setBaudRate(deviceRate));
    c.port.write(measureReq());
    QTRY_VERIFY_WITH_TIMEOUT(c.rx.size() >= measureRep().size(), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(heard.count(), 2, 3000);
    QCOMPARE(c.rx, measureRep());
}

void TestSimulator::ptyLinkFollowsLifetime()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("no pseudo-terminals here");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyKVT"));
    // Left behind by a killed run: replaced, not an error.
    QVERIFY(QFile::link(QStringLiteral("/nonexistent/tty"), link));

    movrasim::SimulatorHost host;
    host.setLinkPath(link);
    const QString path = host.start();
    QVERIFY2(!path.isEmpty(), qPrintable(host.errorString()));
    QCOMPARE(QFileInfo(link).symLinkTarget(), path);
    host.stop();
    QVERIFY(!QFileInfo(link).isSymLink());

    // A file that is not a link is never overwritten.
    QFile plain(link);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    QVERIFY(host.start().isEmpty());
    QVERIFY(QFileInfo(link).isFile());
}

void TestSimulator::ptyRepliesKeepTheirTiming()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("no pseudo-terminals here");
    movrasim::SimulatorHost host;
    prepare(host.model());
    Faults f;
    f.echo = true;
    f.delayMs = 150;
    host.model().setFaults(f);
    const QString path = host.start();
    QVERIFY2(!path.isEmpty(), qPrintable(host.errorString()));

    Client c;
    QVERIFY2(c.open(path, 9600), qPrintable(c.port.errorString()));
    QElapsedTimer clock;
    clock.start();
    c.port.write(measureReq());
    QTRY_VERIFY_WITH_TIMEOUT(c.rx.size() >= measureReq().size() + measureRep().size(), 3000);
    // Qt's precise timers may fire up to a millisecond or so early.
    QVERIFY2(clock.elapsed() >= 145, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(c.rx, measureReq() + measureRep());
}

void TestSimulator::serialPortTransport()
{
    movratest::PtyPair line;
    if (!line.open(9600))
        QSKIP("no pseudo-terminals here");
    movrasim::SimulatorHost host;
    prepare(host.model());
    QVERIFY2(host.startOnPort(line.slavePath()), qPrintable(host.errorString()));
    QCOMPARE(line.slaveBaudRate(), 9600);

    QVERIFY(line.writeMaster(measureReq()));
    QCOMPARE(line.readMaster(measureRep().size()), measureRep());

    // After a baud-rate change and restart the port follows the device.
    QVERIFY(line.writeMaster(hex("FDFDFD0500EAD8")));
    QCOMPARE(line.readMaster(7), hex("FDFDFD0500EAD8"));
    QVERIFY(line.writeMaster(hex("000601040000C826")));
    QCOMPARE(line.readMaster(8), hex("000601040000C826"));
    QTRY_COMPARE_WITH_TIMEOUT(line.slaveBaudRate(), 38400, 3000);

    // The adapter is pulled: the host gives the port up instead of spinning on it.
    QSignalSpy failed(&host, &movrasim::SimulatorHost::transportFailed);
    line.closeMaster();
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 3000);
    QVERIFY(!host.isRunning());
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
