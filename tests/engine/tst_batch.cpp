// Both batch sequencers without a port, tick by tick: the order and timing
// of their frames, their time-outs and failure counts, what ends them, and
// which interrupted item goes out again after reconnecting.

#include <QtTest>

#include "Bytes.h"
#include "EngineTest.h"

using enginetest::connectWithoutPort;
using enginetest::identification;
using enginetest::joined;
using enginetest::run;
using enginetest::Trace;
using movra::Parameter;
using movra::Session;
using movratest::hex;
using movratest::withCrc;

namespace {

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

const QByteArray kReadAddress = withCrc(hex("000301000001"));
const QByteArray kReadBaud = hex("FDFDFD0000E988");
const QByteArray kReadTempOffset = hex("00030050000185CA");
const QByteArray kReadHumiOffset = withCrc(hex("000300510001"));
const QByteArray kReadOrder = withCrc(hex("000300520001"));
const QByteArray kWriteAddress5 = hex("00060100000549E4");
const QByteArray kRestart = hex("000601040000C826");

// A device that answers every read of the batch and echoes every write.
QByteArray answerAll(qint32 code, const QByteArray &frame)
{
    switch (code) {
    case movra::ReqReadBaudRate:
        return withCrc(hex("FDFDFD0500"));
    case movra::ReqReadAddress:
        return withCrc(hex("0003020005"));
    case movra::ReqReadTempCorrection:
        return withCrc(hex("000302FFF1"));
    case movra::ReqReadHumiCorrection:
        return withCrc(hex("000302001E"));
    case movra::ReqReadOrder:
        return withCrc(hex("0003020002"));
    case movra::ReqWriteTempCorrection:
    case movra::ReqWriteHumiCorrection:
    case movra::ReqWriteOrder:
    case movra::ReqWriteAddress:
    case movra::ReqWriteBaudRate:
        return frame;
    default:
        return QByteArray(); // measurements, and the restart: gone restarting
    }
}

void enableWrites(Session &s, std::initializer_list<Parameter> items)
{
    for (int p = 0; p < movra::kParameterCount; ++p)
        s.setWriteEnabled(Parameter(p), false);
    for (Parameter p : items)
        s.setWriteEnabled(p, true);
}

QStringList timetable(const Trace &t)
{
    return t.of({"sent", "log", "settled", "timeout", "confirmed", "rejected", "batch"});
}

} // namespace

class TestBatch : public QObject
{
    Q_OBJECT

private slots:
    void batchReadSilentDevice();
    void batchReadAnswered();
    void batchReadPausesWhileNotConnected();

    void batchWrite_data();
    void batchWrite();
    void batchWriteSilentDevice();
    void batchWriteSecondStartKeepsFailures();

    void interruptedItemGoesOutAgain_data();
    void interruptedItemGoesOutAgain();
};

void TestBatch::batchReadSilentDevice()
{
    Session s;
    QVERIFY(connectWithoutPort(s));
    Trace trace(s);
    s.startBatchRead();
    run(s, 567);

    // Each item waits eleven periods; a time-out and the next item share a tick.
    const QStringList expected{
        "3 log 批量读取参数开始",
        "10 sent 100 " + hexOf(kReadAddress),
        "120 timeout 100",
        "120 log 读取设备地址：失败(超时)",
        "120 sent 101 " + hexOf(kReadBaud),
        "230 timeout 101",
        "230 log 读取波特率：失败(超时)",
        "230 sent 102 " + hexOf(kReadTempOffset),
        "340 timeout 102",
        "340 log 读取温度修正：失败(超时)",
        "340 sent 103 " + hexOf(kReadHumiOffset),
        "450 timeout 103",
        "450 log 读取湿度修正：失败(超时)",
        "450 sent 104 " + hexOf(kReadOrder),
        "560 timeout 104",
        "560 log 读取设备温湿度调换状态：失败(超时)",
        "560 log 批量参数读取失败数量为:5",
        "560 batch read 5",
    };
    QCOMPARE(joined(timetable(trace)), joined(expected));
    QVERIFY(!s.batchReadActive());
    QCOMPARE(s.pendingRequest(), 0);
    QCOMPARE(s.stats().timeouts, quint64(5));

    // The count starts again with the next batch.
    trace.clear();
    s.startBatchRead();
    trace.device = answerAll;
    run(s, 100);
    QCOMPARE(trace.unstamped({"batch"}), QStringList{"batch read 0"});
}

void TestBatch::batchReadAnswered()
{
    Session s;
    QVERIFY(connectWithoutPort(s));
    Trace trace(s);
    trace.device = answerAll;
    s.startBatchRead();
    run(s, 77);

    const QStringList expected{
        "3 log 批量读取参数开始",
        "10 sent 100 " + hexOf(kReadAddress),
        "13 log 设备地址为：5\r\n",
        "13 settled 100",
        "20 sent 101 " + hexOf(kReadBaud),
        "23 log 设备波特率为：38400\r\n",
        "23 settled 101",
        "30 sent 102 " + hexOf(kReadTempOffset),
        "33 log 设备温度修正为：-15\r\n",
        "33 settled 102",
        "40 sent 103 " + hexOf(kReadHumiOffset),
        "43 log 设备湿度修正为：30\r\n",
        "43 settled 103",
        "50 sent 104 " + hexOf(kReadOrder),
        "53 log 温湿度对调：温度在前\r\n",
        "53 settled 104",
        "60 log 已发完批量读取命令\r\n",
        "60 batch read 0",
    };
    QCOMPARE(joined(timetable(trace)), joined(expected));
    QCOMPARE(trace.unstamped({"read", "station"}),
             (QStringList{"station 5", "read address 5", "read baud 38400",
                          "read temp-correction -15", "read humi-correction 30", "read order 2"}));
    QCOMPARE(int(s.station()), 5);
    QVERIFY(!s.batchReadActive());
}

void TestBatch::batchReadPausesWhileNotConnected()
{
    Session s;
    QVERIFY(connectWithoutPort(s));
    Trace trace(s);
    s.startBatchRead();
    run(s, 47);
    s.disconnectByOperator();
    trace.clear();

    run(s, 500);
    QCOMPARE(trace.lines, QStringList());
    QVERIFY(s.batchReadActive());
    QCOMPARE(s.pendingRequest(), qint32(movra::ReqReadAddress));
}

void TestBatch::batchWrite_data()
{
    QTest::addColumn<QList<int>>("items");
    QTest::addColumn<QByteArray>("echo"); // empty: the frame itself
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("nothing enabled")
        << QList<int>{} << QByteArray()
        << QStringList{"3 log 批量写入参数开始", "70 log 批量参数写入完成\r\n", "70 batch write 0"};
    QTest::newRow("station address") << QList<int>{int(Parameter::Address)} << QByteArray()
                                     << QStringList{"3 log 批量写入参数开始",
                                                    "40 log 正在写入设备的地址为：5\r\n",
                                                    "40 sent 203 " + hexOf(kWriteAddress5),
                                                    "43 log 00060100000549e4\t00060100000549e4",
                                                    "43 log 写入成功",
                                                    "43 confirmed 203 5",
                                                    "43 settled 203",
                                                    "70 log 批量参数写入完成\r\n",
                                                    "70 batch write 0"};
    // The device confirms the new rate and does not answer the restart.
    QTest::newRow("baud rate, then the restart")
        << QList<int>{int(Parameter::BaudRate)} << QByteArray()
        << QStringList{"3 log 批量写入参数开始",
                       "50 log 正在写入设备的波特率为：9600\r\n",
                       "50 sent 204 fdfdfd0300e978",
                       "53 log fdfdfd0300e978\tfdfdfd0300e978",
                       "53 log 写入成功",
                       "53 confirmed 204 9600",
                       "53 log 正在重启设备：\r\n",
                       "53 sent 205 " + hexOf(kRestart),
                       "53 settled 204",
                       "70 log 批量参数写入完成\r\n",
                       "70 batch write 0"};
    // A rejected echo leaves the item to its time-out, which counts it.
    QTest::newRow("rejected echo")
        << QList<int>{int(Parameter::Address)} << withCrc(hex("000601000006"))
        << QStringList{"3 log 批量写入参数开始",
                       "40 log 正在写入设备的地址为：5\r\n",
                       "40 sent 203 " + hexOf(kWriteAddress5),
                       "43 log 00060100000549e4\t" + hexOf(withCrc(hex("000601000006"))),
                       "43 log 写入失败",
                       "43 rejected 203",
                       "110 timeout 203",
                       "110 log 写入设备地址：失败(超时)",
                       "130 log 批量参数写入失败数量为:1",
                       "130 batch write 1"};
}

void TestBatch::batchWrite()
{
    QFETCH(QList<int>, items);
    QFETCH(QByteArray, echo);
    QFETCH(QStringList, expected);

    Session s;
    s.setBaudRate(2400);
    QVERIFY(connectWithoutPort(s));
    for (int p : items)
        s.setWriteEnabled(Parameter(p), true);
    s.setWriteValue(Parameter::Address, 5);
    s.setWriteValue(Parameter::BaudRate, 9600);
    Trace trace(s);
    trace.device = [&](qint32 code, const QByteArray &frame) {
        return code == movra::ReqRestart ? QByteArray() : echo.isEmpty() ? frame : echo;
    };
    s.startBatchWrite();
    run(s, 197);

    QCOMPARE(joined(timetable(trace)), joined(expected));
    QVERIFY(!s.batchWriteActive());
    // A new station address or rate changes the device only.
    QCOMPARE(int(s.station()), 1);
    QCOMPARE(s.baudRate(), 2400);
}

void TestBatch::batchWriteSilentDevice()
{
    Session s;
    QVERIFY(connectWithoutPort(s));
    enableWrites(s, {Parameter::TempCorrection, Parameter::HumiCorrection, Parameter::Order,
                     Parameter::Address, Parameter::BaudRate});
    s.setWriteValue(Parameter::TempCorrection, -5);
    s.setWriteValue(Parameter::HumiCorrection, 12);
    s.setWriteValue(Parameter::Order, 1);
    s.setWriteValue(Parameter::Address, 5);
    s.setWriteValue(Parameter::BaudRate, 115200);
    Trace trace(s);
    s.startBatchWrite();
    run(s, 217);
    // The operator clears the order box while its write waits: its time-out
    // is not counted.
    s.setWriteEnabled(Parameter::Order, false);
    run(s, 350);

    // The time-out check runs every eleventh period of the batch, whenever
    // the item was sent.
    const QStringList expected{
        "3 log 批量写入参数开始",
        "10 log 正在写入设备的温度修正为：-0.5℃\r\n",
        "10 sent 200 " + hexOf(withCrc(hex("00060050FFFB"))),
        "110 timeout 200",
        "110 log 写入设备温度修正：失败(超时)",
        "110 log 正在写入设备的湿度修正为：1.2%\r\n",
        "110 sent 201 " + hexOf(withCrc(hex("00060051000C"))),
        "220 timeout 201",
        "220 log 写入设备湿度修正：失败(超时)",
        "220 log 正在写入温湿度对调为：湿度在前\r\n",
        "220 sent 202 " + hexOf(withCrc(hex("000600520001"))),
        "330 timeout 202",
        "330 log 正在写入设备的地址为：5\r\n",
        "330 sent 203 " + hexOf(kWriteAddress5),
        "440 timeout 203",
        "440 log 写入设备地址：失败(超时)",
        "440 log 正在写入设备的波特率为：115200\r\n",
        "440 sent 204 " + hexOf(withCrc(hex("FDFDFD0700"))),
        "550 timeout 204",
        "550 log 写入设备波特率：失败(超时)",
        "560 log 批量参数写入失败数量为:4",
        "560 batch write 4",
    };
    QCOMPARE(joined(timetable(trace)), joined(expected));
}

void TestBatch::batchWriteSecondStartKeepsFailures()
{
    Session s;
    QVERIFY(connectWithoutPort(s));
    enableWrites(s, {Parameter::Address});
    s.setWriteValue(Parameter::Address, 5);
    Trace trace(s);
    s.startBatchWrite();
    run(s, 107);
    QCOMPARE(trace.unstamped({"timeout"}), QStringList{"timeout 203"});

    // Started again before it ended: the failure already counted stays.
    trace.clear();
    s.startBatchWrite();
    run(s, 150);
    QCOMPARE(
        joined(trace.of({"sent", "timeout", "batch"})),
        joined({"150 sent 203 " + hexOf(kWriteAddress5), "220 timeout 203", "240 batch write 2"}));
}

void TestBatch::interruptedItemGoesOutAgain_data()
{
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("lostWith");   // the line goes right after this code went out
    QTest::addColumn<QString>("before"); // what happens before it goes
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QString>("next");

    QTest::newRow("read item, manual") << false << 102 << "" << false << "sent 102";
    QTest::newRow("first read item, automatic") << false << 100 << "" << true << "sent 100";
    QTest::newRow("write item, manual") << true << 201 << "" << false << "sent 201";
    QTest::newRow("baud-rate write, automatic") << true << 204 << "" << true << "sent 204";
    QTest::newRow("restart, never awaited") << true << 205 << "" << false << "batch write 0";
    QTest::newRow("answered item") << false << 103 << "answer" << false << "sent 104";
    QTest::newRow("read item, the batch read replaced by a write")
        << false << 102 << "write" << false << "sent 200";
    QTest::newRow("write item, the batch write replaced by a read")
        << true << 202 << "read" << true << "sent 100";
    QTest::newRow("read item replaced by a manual reading")
        << false << 102 << "readNow" << false << "sent 103";
}

void TestBatch::interruptedItemGoesOutAgain()
{
    QFETCH(bool, write);
    QFETCH(int, lostWith);
    QFETCH(QString, before);
    QFETCH(bool, automatic);
    QFETCH(QString, next);

    Session s;
    QVERIFY(connectWithoutPort(s));
    enableWrites(s, {Parameter::TempCorrection, Parameter::HumiCorrection, Parameter::Order,
                     Parameter::Address, Parameter::BaudRate});
    s.setWriteValue(Parameter::BaudRate, 9600);
    Trace trace(s);
    trace.device = [&](qint32 code, const QByteArray &frame) {
        return code == lostWith && before != QLatin1String("answer") ? QByteArray()
                                                                     : answerAll(code, frame);
    };
    write ? s.startBatchWrite() : s.startBatchRead();
    const QString lost = QStringLiteral(" sent %1 ").arg(lostWith);
    for (int i = 0; i < 100 && !trace.lines.join('\n').contains(lost); ++i)
        s.tick();
    QVERIFY(trace.lines.join('\n').contains(lost));
    if (before == QLatin1String("answer"))
        run(s, 3);
    else if (before == QLatin1String("write"))
        s.startBatchWrite();
    else if (before == QLatin1String("read"))
        s.startBatchRead();
    else if (before == QLatin1String("readNow"))
        s.readNow();

    s.disconnectByOperator();
    QVERIFY(automatic ? s.beginAutoConnect() : s.beginManualConnect());
    s.request(movra::ReqProbe);
    s.receive(identification());
    run(s, 3);
    QCOMPARE(s.linkState(), movra::LinkState::Connected);
    trace.clear();
    trace.device = nullptr;
    run(s, 20);

    const QStringList after = trace.unstamped({"sent", "batch"});
    QVERIFY2(!after.isEmpty(), "the batch went on with nothing");
    QCOMPARE(after.first().left(next.size()), next);
}

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
