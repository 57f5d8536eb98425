// Faults on the line, end to end: the real window on a real QSerialPort on a
// pseudo-terminal, against a raw peer or the simulated transmitter. A flood
// of noise while connected, the port vanishing in the middle of a batch
// read and coming back, and a device that answers from another station
// address.

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <functional>
#include <random>
#include <thread>

#include "Bytes.h"
#include "Dialogs.h"
#include "Pty.h"
#include "Rig.h"
#include "SimulatorHost.h"
#include "TestSupport.h"

using movratest::residentBytes;
using movratest::Rig;
using movratest::writesDone;

namespace {

using movratest::hex;
using movratest::withCrc;

const char kIdentify[] = "0006011000008822";
const char kReadBoth[] = "010300000002C40B";

// The far end of a peer that knows the identification request and the
// measurement reads, answering the reads from `address`.
QByteArray measurementAnswer(const QByteArray &request, quint8 address)
{
    if (request.contains(hex(kIdentify)))
        return QByteArray("ARDENO") + '\0' + QByteArray("KVT582-TH");
    if (request.size() != 8 || request.at(1) != 0x03)
        return {};
    const quint16 reg = quint16(quint8(request[2]) << 8 | quint8(request[3]));
    const quint16 count = quint16(quint8(request[4]) << 8 | quint8(request[5]));
    // Humidity 45.5 %, temperature -12.5 degC.
    const QByteArray humidity = hex("01C7");
    const QByteArray temperature = hex("FF83");
    QByteArray data;
    if (reg == 0x0000)
        data = count >= 2 ? humidity + temperature : humidity;
    else if (reg == 0x0001)
        data = temperature;
    else
        return {};
    QByteArray reply;
    reply.append(char(address));
    reply.append(char(0x03));
    reply.append(char(data.size()));
    return withCrc(reply + data);
}

// The window on the rig's port at 9600, connected.
void connectWindow(Rig &rig)
{
    rig.openWindow();
    QVERIFY(rig.selectPort(rig.path));
    QVERIFY(rig.connectAt(9600));
}

// A raw peer answering the measurement reads as station `from`, which the
// test may change meanwhile, and the window connected to it.
void connectToPeer(Rig &rig, const quint8 &from)
{
    QVERIFY2(rig.startPeer(), qPrintable(rig.peer->errorString()));
    rig.answer = [&from](const QByteArray &request) {
        return measurementAnswer(request, from);
    };
    connectWindow(rig);
}

// The simulator under a fixed name in `dir`, and the window connected to it.
void connectToSimulatorIn(Rig &rig, const QTemporaryDir &dir)
{
    QVERIFY2(rig.startHostAt(dir.filePath(QStringLiteral("ttyMOVRA0"))),
             qPrintable(rig.host.errorString()));
    connectWindow(rig);
}

// Ticks until the window has written `code`, then the adapter goes: the
// request is in the port's buffer, not yet on the line.
bool loseDeviceWhenPending(Rig &rig, int code)
{
    for (int i = 0; i < 2000; ++i) {
        rig.tick(1, false);
        if (rig.session().pendingRequest() == code) {
            rig.host.stop();
            return true;
        }
        if (!rig.settle())
            return false;
    }
    return false;
}

// The operator starts a batch with `button` and the adapter goes once the
// window has written `code`: one box, and the failed state.
void loseDeviceDuringBatch(Rig &rig, QAbstractButton *button, int code)
{
    button->click();
    QVERIFY(loseDeviceWhenPending(rig, code));
    QVERIFY(QTest::qWaitFor([&] { return !rig.dialogs.titles.isEmpty(); }, 5000));
    QCOMPARE(rig.dialogs.titles, QStringList{QStringLiteral("串口操作错误")});
    QCOMPARE(rig.session().linkState(), movra::LinkState::Failed);
}

// Ticks with the device gone, the port's events in between.
void tickWithoutDevice(Rig &rig, int n)
{
    for (int i = 0; i < n; ++i) {
        QCoreApplication::processEvents();
        rig.tick(1, false);
    }
}

// The device is back and the operator connects again; ticks until `done`,
// then ten more. *heard: what the simulator heard meanwhile, as hex,
// connection probes left out.
void reconnectUntil(Rig &rig, const std::function<bool()> &done, QString *heard)
{
    QVERIFY2(!rig.host.start().isEmpty(), qPrintable(rig.host.errorString()));
    rig.mark();
    const int heardBefore = rig.hostIn.size();
    QVERIFY(rig.connectAt(9600));
    QVERIFY(rig.ticksUntil(done, 2000) > 0);
    QVERIFY(rig.tick(10));
    QByteArray bytes = rig.hostIn.mid(heardBefore);
    bytes.replace(hex(kIdentify), QByteArray());
    *heard = QString::fromLatin1(bytes.toHex());
}

enum class Flood { Random, ReplyFragments, BaudPrefix };

// Fills `chunk` with the next piece of the flood.
void fillFlood(Flood kind, std::mt19937 &rng, QByteArray &chunk)
{
    std::uniform_int_distribution<int> byte(0, 255);
    static const QByteArray pieces[] = {hex("010304025800FAFA1B"), hex("FDFDFD0300E978"),
                                        hex("00060050FFF1087E"), hex("FD03040001000097FC")};
    int i = 0;
    while (i < chunk.size()) {
        switch (kind) {
        case Flood::Random:
            chunk[i++] = char(byte(rng));
            break;
        case Flood::ReplyFragments: {
            // Good replies, cut short or run together, with a stray byte now and then.
            const QByteArray &p = pieces[byte(rng) % 4];
            const int take = 1 + byte(rng) % p.size();
            for (int k = 0; k < take && i < chunk.size(); ++k)
                chunk[i++] = p[k];
            if (byte(rng) < 32 && i < chunk.size())
                chunk[i++] = char(byte(rng));
            break;
        }
        case Flood::BaudPrefix:
            chunk[i++] = byte(rng) < 224 ? char(0xFD) : char(byte(rng));
            break;
        }
    }
}

} // namespace

Q_DECLARE_METATYPE(Flood)

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void floodWhileConnected_data();
    void floodWhileConnected();
    void portLostDuringBatchRead_data();
    void portLostDuringBatchRead();
    void portLostDuringBatchWrite_data();
    void portLostDuringBatchWrite();
    void foreignStation_data();
    void foreignStation();
};

void TestFaults::initTestCase()
{
    movratest::useOwnSettingsFolder();
    if (!movratest::PtyPair::isSupported())
        QSKIP("no pseudo-terminals on this system");
}

void TestFaults::init()
{
    movratest::removeSettings();
}

void TestFaults::cleanupTestCase()
{
    movratest::removeSettings();
}

void TestFaults::floodWhileConnected_data()
{
    QTest::addColumn<Flood>("kind");
    QTest::addColumn<int>("bytes");

    QTest::newRow("random bytes") << Flood::Random << (1 << 20);
    QTest::newRow("fragments of good replies") << Flood::ReplyFragments << (1 << 20);
    QTest::newRow("baud-rate prefixes") << Flood::BaudPrefix << (1 << 20);
}

void TestFaults::floodWhileConnected()
{
    QFETCH(Flood, kind);
    QFETCH(int, bytes);

    const quint8 station = 1;
    Rig rig(0, QDialog::Accepted);
    connectToPeer(rig, station);
    if (QTest::currentTestFailed())
        return;
    MovraTestTool &w = *rig.w;
    auto &ui = rig.ui();
    // Reading every second, as on a bench left running.
    ui.checkBox_5->click();
    ui.checkBox_6->click();
    QVERIFY(w.session().periodicReading(movra::Quantity::Temperature) &&
            w.session().periodicReading(movra::Quantity::Humidity));
    const qint64 rssBefore = residentBytes();

    // The peer floods from its own thread as fast as the line takes it; this
    // thread only delivers the port's events and ticks.
    std::atomic<qint64> written{0};
    std::atomic<bool> writerDone{false};
    std::atomic<bool> writerStalled{false};
    movratest::PtyPair &peer = *rig.peer;
    std::thread writer([&]() {
        std::mt19937 rng(20261207);
        QByteArray chunk(4096, '\0');
        while (written < bytes) {
            fillFlood(kind, rng, chunk);
            if (!peer.writeMaster(chunk)) {
                writerStalled = true;
                break;
            }
            written += chunk.size();
        }
        writerDone = true;
    });

    const QByteArray poll = hex(kReadBoth);
    const qint64 receivedBefore = rig.received();
    int ticks = 0;
    int polls = 0;
    int pollsSent = 0;
    const auto countPolls = QObject::connect(&w.session(), &movra::Session::frameSent,
                                             [&](qint32 code, const QByteArray &) {
                                                 if (code == movra::ReqReadBoth)
                                                     ++pollsSent;
                                             });
    int largestLeft = 0;
    QElapsedTimer clock;
    clock.start();
    QDeadlineTimer deadline(120000);
    int blocks = 0;
    int bigBlocks = 0;
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents();
        const int before = w.session().bufferedBytes();
        rig.tick(1, false);
        ++ticks;
        if (before > 0 && w.session().bufferedBytes() == 0) {
            ++blocks;
            if (before > 100)
                ++bigBlocks;
        }
        if (w.session().ticks() % movra::timing::kSecondTicks == 0)
            ++polls;
        largestLeft = qMax(largestLeft, w.session().bufferedBytes());
        if (writerDone && rig.received() - receivedBefore >= written)
            break;
    }
    writer.join();
    QObject::disconnect(countPolls);
    const qint64 elapsed = qMax<qint64>(1, clock.elapsed());
    QVERIFY(!writerStalled);
    QCOMPARE(qint64(written), qint64(bytes));
    QCOMPARE(rig.received() - receivedBefore, qint64(written));
    qInfo("flood: %d bytes in %lld ms, %d ticks, %d polls, %d blocks (%d over 100 bytes)", bytes,
          elapsed, ticks, polls, blocks, bigBlocks);

    // Whatever came, a tick never left more than one short block behind.
    QVERIFY2(largestLeft <= 100, qPrintable(QString::number(largestLeft)));
    QCOMPARE(w.session().linkState(), movra::LinkState::Connected);
    QVERIFY(w.session().port().isOpen());
    QCOMPARE(rig.dialogs.titles, QStringList());
    QVERIFY(ui.textEdit->document()->blockCount() <= 1000);

    // The periodic reading went out once a second all through the flood.
    QVERIFY(polls >= 1);
    QCOMPARE(pollsSent, polls);
    QVERIFY(QTest::qWaitFor(
        [&] {
            rig.peerIn += peer.readAvailable();
            return rig.peerIn.count(poll) >= polls;
        },
        3000));
    QCOMPARE(rig.peerIn.count(poll), polls);

    const qint64 rssAfter = residentBytes();
    if (rssBefore > 0) {
        qInfo("flood: resident %lld KiB before, %lld KiB after", rssBefore / 1024, rssAfter / 1024);
        // Far less than the flood itself: nothing of it is kept.
        QVERIFY2(rssAfter - rssBefore < bytes / 2,
                 qPrintable(QString::number((rssAfter - rssBefore) / 1024)));
    }

    // Afterwards a manual read works as on a quiet line.
    ui.checkBox_5->click();
    ui.checkBox_6->click();
    while (w.session().bufferedBytes() > 0)
        rig.tick(1, false);
    QVERIFY(QTest::qWaitFor([&] { return writesDone(w.session().port()); }, 3000));
    rig.peerIn += peer.readAvailable();
    rig.mark();
    ui.textEdit->clear();
    ui.manualReadButton->click();
    QVERIFY(rig.settle());
    QVERIFY(rig.tick(3));
    QCOMPARE(ui.label_Humidy->text(), QStringLiteral("45.5"));
    QCOMPARE(ui.label_Temp->text(), QStringLiteral("-12.5"));
    QCOMPARE(w.session().pendingRequest(), 0);
    const QStringList lines = movratest::logLines(w);
    QVERIFY2(lines.size() >= 3, qPrintable(lines.join('|')));
    QVERIFY(lines.at(lines.size() - 3).endsWith(QStringLiteral("正在手动读取温湿度值")));
    QVERIFY(lines.at(lines.size() - 2).endsWith(QStringLiteral("\t湿度:45.5 %")));
    QVERIFY(lines.at(lines.size() - 1).endsWith(QStringLiteral("\t温度:-12.5 ℃")));
}

void TestFaults::portLostDuringBatchRead_data()
{
    QTest::addColumn<int>("lostAt");
    QTest::addColumn<QStringList>("framesAfter");

    const QString temperatureCorrection = QStringLiteral("00030050000185ca");
    const QString humidityCorrection = QStringLiteral("000300510001d40a");
    const QString orderMode = QStringLiteral("000300520001240a");
    // The item whose reply the loss swallowed goes out again first.
    QTest::newRow("during the address read")
        << 100
        << QStringList{QStringLiteral("0003010000018427"), QStringLiteral("fdfdfd0000e988"),
                       temperatureCorrection, humidityCorrection, orderMode};
    QTest::newRow("during the temperature correction read")
        << 102 << QStringList{temperatureCorrection, humidityCorrection, orderMode};
    QTest::newRow("during the last read") << 104 << QStringList{orderMode};
}

void TestFaults::portLostDuringBatchRead()
{
    QFETCH(int, lostAt);
    QFETCH(QStringList, framesAfter);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Rig rig(0, QDialog::Accepted);
    auto &model = rig.model();
    model.setTemperatureCorrection(-15);
    model.setHumidityCorrection(23);
    model.setOrderMode(2);
    connectToSimulatorIn(rig, dir);
    if (QTest::currentTestFailed())
        return;
    MovraTestTool &w = *rig.w;
    auto &ui = rig.ui();

    // One box, the failed state, the port closed.
    loseDeviceDuringBatch(rig, ui.readButton, lostAt);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(rig.dialogs.texts.first().startsWith(QStringLiteral("请检查当前选择的串口是否可用!")));
    QVERIFY(!w.session().port().isOpen());
    const int errorsAtLoss = rig.portErrors;
    QVERIFY(errorsAtLoss >= 1);

    // Five seconds of ticks with the device gone: no storm, the batch waits
    // with the lost item pending, asking nothing.
    QSignalSpy sent(&w.session(), &movra::Session::frameSent);
    tickWithoutDevice(rig, 500);
    QCOMPARE(rig.dialogs.titles.size(), 1);
    QCOMPARE(rig.portErrors, errorsAtLoss);
    qInfo("port lost at request %d: %d error report(s), 1 box, none in 500 more ticks", lostAt,
          errorsAtLoss);
    QCOMPARE(w.session().linkState(), movra::LinkState::Failed);
    QVERIFY(w.session().batchReadActive());
    QCOMPARE(w.session().pendingRequest(), lostAt);
    QCOMPARE(sent.count(), 0);
    QVERIFY(!movratest::logText(w).contains(QStringLiteral("失败(超时)")));

    // The device is back; the operator connects again.
    QString heard;
    reconnectUntil(
        rig, [&] { return !w.session().batchReadActive(); }, &heard);
    if (QTest::currentTestFailed())
        return;

    // The batch picks up at the item that was lost, not from the start.
    QCOMPARE(heard, framesAfter.join(QString()));
    const QString log = movratest::logText(w);
    QVERIFY(log.contains(QStringLiteral("已发完批量读取命令")));
    QVERIFY(!log.contains(QStringLiteral("批量参数读取失败数量为")));
    QCOMPARE(rig.dialogs.titles.size(), 1);
    QCOMPARE(w.session().linkState(), movra::LinkState::Connected);
    // What was read before the loss and after the return is shown.
    QCOMPARE(ui.braudRate_2->itemText(0), QStringLiteral("9600"));
    QCOMPARE(ui.humiOffset_1->value(), 23);
}

void TestFaults::portLostDuringBatchWrite_data()
{
    QTest::addColumn<int>("lostAt");
    QTest::addColumn<QStringList>("framesAfter");

    const QString temperatureCorrection = QStringLiteral("00060050fff1087e");
    const QString humidityCorrection = QStringLiteral("0006005100251811");
    const QString orderMode = QStringLiteral("000600520002a80b");
    QTest::newRow("during the temperature correction")
        << 200 << QStringList{temperatureCorrection, humidityCorrection, orderMode};
    QTest::newRow("during the humidity correction")
        << 201 << QStringList{humidityCorrection, orderMode};
    QTest::newRow("during the order mode") << 202 << QStringList{orderMode};
}

void TestFaults::portLostDuringBatchWrite()
{
    QFETCH(int, lostAt);
    QFETCH(QStringList, framesAfter);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Rig rig(0, QDialog::Accepted);
    auto &model = rig.model();
    connectToSimulatorIn(rig, dir);
    if (QTest::currentTestFailed())
        return;
    MovraTestTool &w = *rig.w;
    auto &ui = rig.ui();

    // Both corrections and the order; station address and baud rate left out.
    ui.TempOffset_2->setValue(-15);
    ui.HumiOffset_2->setValue(37);
    ui.BraudRate_4->setCurrentIndex(2);
    for (QCheckBox *box : {ui.checkBox_3, ui.checkBox_4, ui.checkBox_7})
        if (!box->isChecked())
            box->click();
    for (QCheckBox *box : {ui.checkBox, ui.checkBox_2})
        if (box->isChecked())
            box->click();

    loseDeviceDuringBatch(rig, ui.writeButton, lostAt);
    if (QTest::currentTestFailed())
        return;
    tickWithoutDevice(rig, 300);
    QVERIFY(w.session().batchWriteActive());

    QString heard;
    reconnectUntil(
        rig, [&] { return !w.session().batchWriteActive(); }, &heard);
    if (QTest::currentTestFailed())
        return;

    // The item the loss interrupted is written again, then the rest.
    QCOMPARE(heard, framesAfter.join(QString()));
    // Every value is on the device, so the batch may say it is done.
    QCOMPARE(model.temperatureCorrection(), qint16(-15));
    QCOMPARE(model.humidityCorrection(), qint16(37));
    QCOMPARE(model.orderMode(), quint16(2));
    const QString log = movratest::logText(w);
    QVERIFY(log.contains(QStringLiteral("批量参数写入完成")));
    QVERIFY(!log.contains(QStringLiteral("失败")));
    QCOMPARE(rig.dialogs.titles.size(), 1);
}

void TestFaults::foreignStation_data()
{
    QTest::addColumn<bool>("temperature");
    QTest::addColumn<bool>("humidity");
    QTest::addColumn<int>("address");

    QTest::newRow("both values, station 2") << true << true << 2;
    QTest::newRow("temperature, station 2") << true << false << 2;
    QTest::newRow("humidity, station 2") << false << true << 2;
    QTest::newRow("both values, station 0") << true << true << 0;
    QTest::newRow("both values, probe address 0xFD") << true << true << 0xFD;
    QTest::newRow("both values, station 254") << true << true << 254;
}

void TestFaults::foreignStation()
{
    QFETCH(bool, temperature);
    QFETCH(bool, humidity);
    QFETCH(int, address);

    quint8 answerFrom = quint8(address);
    Rig rig(0, QDialog::Accepted);
    connectToPeer(rig, answerFrom);
    if (QTest::currentTestFailed())
        return;
    MovraTestTool &w = *rig.w;
    auto &ui = rig.ui();
    if (temperature)
        ui.checkBox_5->click();
    if (humidity)
        ui.checkBox_6->click();
    ui.textEdit->clear();
    const QByteArray settings = [] {
        QFile f(movratest::settingsFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();

    // Ten seconds of readings, every one answered by the wrong station.
    const qint64 repliesBefore = rig.peerOut;
    QSignalSpy measured(&w.session(), &movra::Session::measured);
    QVERIFY(rig.tick(1000));
    QVERIFY(rig.peerOut >= repliesBefore + 10 * 7);
    qInfo("station %d: %lld bytes of replies ignored", address, rig.peerOut - repliesBefore);
    QCOMPARE(ui.label_Temp->text(), QStringLiteral("0"));
    QCOMPARE(ui.label_Humidy->text(), QStringLiteral("0"));
    QCOMPARE(measured.count(), 0);
    QCOMPARE(movratest::logText(w), QString());
    // Each reply still settles its request; nothing else moves.
    QCOMPARE(w.session().pendingRequest(), 0);
    QCOMPARE(w.session().bufferedBytes(), 0);
    QCOMPARE(w.session().linkState(), movra::LinkState::Connected);
    QCOMPARE(w.session().station(), quint8(1));
    QCOMPARE(ui.readAddress_1->value(), 1);
    QCOMPARE(w.session().periodicReading(movra::Quantity::Temperature), temperature);
    QCOMPARE(w.session().periodicReading(movra::Quantity::Humidity), humidity);
    QCOMPARE(rig.dialogs.titles, QStringList());
    QFile f(movratest::settingsFile());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), settings);

    // The right station is heard on the same line at the next reading.
    answerFrom = 1;
    QVERIFY(rig.tick(200));
    QCOMPARE(ui.label_Temp->text(), temperature ? QStringLiteral("-12.5") : QStringLiteral("0"));
    QCOMPARE(ui.label_Humidy->text(), humidity ? QStringLiteral("45.5") : QStringLiteral("0"));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
