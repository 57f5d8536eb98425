// Every request code's reply through the session's own interface: the
// block fed, three quiet ticks, then what was reported, whether the request
// is settled, and which link-statistics counter the block went to.

#include <QtTest>

#include "Bytes.h"
#include "EngineTest.h"

Q_DECLARE_METATYPE(QList<QByteArray>)

using enginetest::joined;
using enginetest::run;
using enginetest::Trace;
using movra::Session;
using movratest::hex;
using movratest::withCrc;

namespace {

// Which of the link statistics' block counters a block went to.
QString countedAs(const movra::LinkStats &st)
{
    QStringList out;
    if (st.replies)
        out << QStringLiteral("reply");
    const char *const causes[] = {"too-short", "bad-crc", "unknown-function", "unexpected"};
    for (int i = 0; i < int(movra::BlockCause::Count); ++i) {
        if (st.notRecognised[size_t(i)])
            out << QLatin1String(causes[i]);
    }
    if (st.exceptions)
        out << QStringLiteral("exception");
    return out.join(QLatin1Char(' '));
}

void addColumns()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("station");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("settled");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("counted");
}

// The request of the row, its block, and what the session made of it.
void checkReply()
{
    QFETCH(int, code);
    QFETCH(int, value);
    QFETCH(int, station);
    QFETCH(QByteArray, block);
    QFETCH(bool, settled);
    QFETCH(QStringList, events);
    QFETCH(QString, counted);

    Session s;
    s.setStation(quint8(station));
    s.request(code, value);
    Trace trace(s);

    s.receive(block);
    run(s, 3);

    QCOMPARE(s.bufferedBytes(), 0);
    QCOMPARE(s.pendingRequest(), settled ? 0 : code);
    QStringList expected = events;
    if (settled && code != 0 && !expected.contains("settled " + QString::number(code)))
        expected << "settled " + QString::number(code);
    QCOMPARE(joined(trace.unstamped({"log", "read", "station", "measured", "confirmed", "rejected",
                                     "sent", "settled", "timeout"})),
             joined(expected));
    QCOMPARE(countedAs(s.stats()), counted);
}

const QByteArray kBoth = hex("010304025800FAFA1B"); // humidity 600, temperature 250
const QStringList kNone;

} // namespace

class TestReplies : public QObject
{
    Q_OBJECT

private slots:
    void measurement_data();
    void measurement() { checkReply(); }
    void readBack_data();
    void readBack() { checkReply(); }
    void write_data();
    void write() { checkReply(); }
    void intake_data();
    void intake();
};

void TestReplies::measurement_data()
{
    addColumns();
    const QByteArray readReq = hex("010300000002C40B");
    const QByteArray addrWrite = hex("00060100000549E4");

    // Measurements: from the operator's station only, but any read reply settles.
    QTest::newRow("3: humidity") << 3 << 0 << 1 << withCrc(hex("01030201F4")) << true
                                 << QStringList{"measured H=500"} << "reply";
    QTest::newRow("4: temperature") << 4 << 0 << 1 << withCrc(hex("010302FF38")) << true
                                    << QStringList{"measured T=-200"} << "reply";
    QTest::newRow("5: both, humidity first")
        << 5 << 0 << 1 << kBoth << true << QStringList{"measured T=250 H=600"} << "reply";
    QTest::newRow("5: both, after the adapter's echo")
        << 5 << 0 << 1 << readReq + kBoth << true << QStringList{"measured T=250 H=600"} << "reply";
    QTest::newRow("5: another station") << 5 << 0 << 2 << kBoth << true << kNone << "reply";
    QTest::newRow("3: another station")
        << 3 << 0 << 7 << withCrc(hex("01030201F4")) << true << kNone << "reply";
    QTest::newRow("5: bad CRC") << 5 << 0 << 1 << hex("010304025800FAFA1C") << false << kNone
                                << "bad-crc";
    QTest::newRow("5: exception") << 5 << 0 << 1 << withCrc(hex("018302")) << false << kNone
                                  << "exception";
    QTest::newRow("5: too short") << 5 << 0 << 1 << hex("01030402") << false << kNone
                                  << "too-short";
    QTest::newRow("5: unknown function")
        << 5 << 0 << 1 << withCrc(hex("0104020000")) << false << kNone << "unknown-function";
    QTest::newRow("5: a write echo") << 5 << 0 << 1 << addrWrite << false << kNone << "unexpected";
    QTest::newRow("nothing pending") << 0 << 0 << 1 << kBoth << true << kNone << "reply";
}

void TestReplies::readBack_data()
{
    addColumns();

    // Parameter read-backs: from whichever device answers.
    QTest::newRow("100: station address")
        << 100 << 0 << 1 << withCrc(hex("0703020105")) << true
        << QStringList{"station 5", "read address 5", "log 设备地址为：5\r\n"} << "reply";
    QTest::newRow("101: read reply code 3")
        << 101 << 0 << 1 << withCrc(hex("0003020003")) << true
        << QStringList{"read baud 9600", "log 设备波特率为：9600\r\n"} << "reply";
    QTest::newRow("101: read reply code 7")
        << 101 << 0 << 1 << withCrc(hex("0003020007")) << true
        << QStringList{"read baud 115200", "log 设备波特率为：115200\r\n"} << "reply";
    QTest::newRow("101: read reply code 0x0102 reads as 9600")
        << 101 << 0 << 1 << withCrc(hex("0003020102")) << true
        << QStringList{"read baud 9600", "log 设备波特率为：9600\r\n"} << "reply";
    QTest::newRow("101: baud reply 38400")
        << 101 << 0 << 1 << withCrc(hex("FDFDFD0500")) << true
        << QStringList{"read baud 38400", "log 设备波特率为：38400\r\n"} << "reply";
    QTest::newRow("101: baud reply code 0 shows nothing")
        << 101 << 0 << 1 << hex("FDFDFD0000E988") << true << kNone << "reply";
    QTest::newRow("101: baud reply code 9 reads as 9600")
        << 101 << 0 << 1 << withCrc(hex("FDFDFD0900")) << true
        << QStringList{"read baud 9600", "log 设备波特率为：9600\r\n"} << "reply";
    QTest::newRow("101: baud reply with bad CRC")
        << 101 << 0 << 1 << hex("FDFDFD0300E979") << false << kNone << "unknown-function";
    QTest::newRow("102: temperature correction -15")
        << 102 << 0 << 1 << withCrc(hex("000302FFF1")) << true
        << QStringList{"read temp-correction -15", "log 设备温度修正为：-15\r\n"} << "reply";
    QTest::newRow("103: humidity correction -15")
        << 103 << 0 << 1 << withCrc(hex("000302FFF1")) << true
        << QStringList{"read humi-correction -15", "log 设备湿度修正为：-15\r\n"} << "reply";
    QTest::newRow("103: humidity correction 30")
        << 103 << 0 << 1 << withCrc(hex("000302001E")) << true
        << QStringList{"read humi-correction 30", "log 设备湿度修正为：30\r\n"} << "reply";
    QTest::newRow("104: order 0") << 104 << 0 << 1 << withCrc(hex("0003020000")) << true
                                  << QStringList{"read order 0", "log 温湿度对调：硬件决定\r\n"}
                                  << "reply";
    QTest::newRow("104: order 2") << 104 << 0 << 1 << withCrc(hex("0003020002")) << true
                                  << QStringList{"read order 2", "log 温湿度对调：温度在前\r\n"}
                                  << "reply";
    QTest::newRow("104: order 9, unsigned")
        << 104 << 0 << 1 << withCrc(hex("0003020009")) << true
        << QStringList{"read order 9", "log 温湿度对调：9\r\n"} << "reply";
}

void TestReplies::write_data()
{
    addColumns();
    const QByteArray addrWrite = hex("00060100000549E4");
    const QByteArray baud9600 = hex("FDFDFD0300E978");

    // Writes: the echo must be the frame itself.
    QTest::newRow("204: confirmed, then the restart, not awaited")
        << 204 << 9600 << 1 << baud9600 << true
        << QStringList{"log fdfdfd0300e978\tfdfdfd0300e978",
                       "log 写入成功",
                       "confirmed 204 9600",
                       "log 正在重启设备：\r\n",
                       "sent 205 000601040000c826",
                       "settled 204"}
        << "reply";
    QTest::newRow("203: exact echo")
        << 203 << 5 << 1 << addrWrite << true
        << QStringList{"log 00060100000549e4\t00060100000549e4", "log 写入成功", "confirmed 203 5",
                       "settled 203"}
        << "reply";
    QTest::newRow("201: exact echo")
        << 201 << 12 << 1 << withCrc(hex("00060051000C")) << true
        << QStringList{"log " + QString::fromLatin1(withCrc(hex("00060051000C")).toHex()) + "\t" +
                           QString::fromLatin1(withCrc(hex("00060051000C")).toHex()),
                       "log 写入成功", "confirmed 201 12"}
        << "reply";
    QTest::newRow("202: exact echo")
        << 202 << 2 << 1 << withCrc(hex("000600520002")) << true
        << QStringList{"log " + QString::fromLatin1(withCrc(hex("000600520002")).toHex()) + "\t" +
                           QString::fromLatin1(withCrc(hex("000600520002")).toHex()),
                       "log 写入成功", "confirmed 202 2"}
        << "reply";
    QTest::newRow("203: echo and reply in one block")
        << 203 << 5 << 1 << addrWrite + addrWrite << false
        << QStringList{"log 00060100000549e4\t00060100000549e400060100000549e4", "log 写入失败",
                       "rejected 203"}
        << "reply";
    QTest::newRow("200: echo with another value")
        << 200 << -15 << 1 << withCrc(hex("00060050FFF0")) << false
        << QStringList{"log 00060050fff1087e\t" +
                           QString::fromLatin1(withCrc(hex("00060050FFF0")).toHex()),
                       "log 写入失败", "rejected 200"}
        << "reply";
    QTest::newRow("204: a read reply settles it quietly")
        << 204 << 9600 << 1 << withCrc(hex("0003020003")) << true << QStringList{"settled 204"}
        << "reply";
    QTest::newRow("205: the restart's echo is not awaited")
        << 205 << 0 << 1 << hex("000601040000C826") << false << kNone << "unexpected";
}

QTEST_MAIN(TestReplies)
#include "tst_replies.moc"

// The same bytes under both intake modes: the window's takes a block on the
// third quiet tick after its last byte; WhenComplete takes a complete reply
// as it arrives and leaves the rest to the quiet rule or the time-out.
void TestReplies::intake_data()
{
    QTest::addColumn<int>("intake");
    QTest::addColumn<int>("code");
    QTest::addColumn<QList<QByteArray>>("chunks"); // one a tick
    QTest::addColumn<int>("settledAt");            // ticks after the last chunk; -1: never
    QTest::addColumn<QString>("counted");          // after the time-out and 3 more ticks

    const QByteArray readReq = hex("010300000002C40B");
    const QByteArray ident = enginetest::identification();
    for (const auto intake : {movra::Intake::QuietTicks, movra::Intake::WhenComplete}) {
        const bool window = intake == movra::Intake::QuietTicks;
        const int at = window ? 3 : 0;
        const auto row = [&](const QString &name) {
            return &(QTest::newRow(qPrintable((window ? "quiet: " : "complete: ") + name))
                     << int(intake));
        };
        for (int k = 1; k < kBoth.size(); ++k) {
            *row(QStringLiteral("split after byte %1").arg(k))
                << 5 << QList<QByteArray>{kBoth.left(k), kBoth.mid(k)} << at << "reply";
        }
        *row("identification split")
            << 1 << QList<QByteArray>{ident.left(9), ident.mid(9)} << at << "reply";
        *row("identification of two fields: quiet rule")
            << 1 << QList<QByteArray>{QByteArray("ARDENO\0KVT582\0", 14)} << 3 << "reply";
        *row("garbage at once") << 5 << QList<QByteArray>{kBoth + hex("DEADBEEF77")}
                                << (window ? -1 : 0)
                                << (window ? "unknown-function" : "reply too-short");
        *row("exception") << 5 << QList<QByteArray>{withCrc(hex("018302"))} << -1 << "exception";
        *row("bad CRC") << 5 << QList<QByteArray>{hex("010304025800FAFA1C")} << -1 << "bad-crc";
        *row("echo of the request") << 5 << QList<QByteArray>{readReq, kBoth} << at << "reply";
        *row("never completes") << 5 << QList<QByteArray>{kBoth.left(6)} << -1 << "too-short";
    }
}

void TestReplies::intake()
{
    QFETCH(int, intake);
    QFETCH(int, code);
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(int, settledAt);
    QFETCH(QString, counted);

    constexpr int kTimeoutTicks = 20;
    Session s;
    s.setIntake(movra::Intake(intake));
    s.request(code, 0, kTimeoutTicks);
    qint64 settled = -1;
    const auto note = [&] {
        settled = qint64(s.ticks());
    };
    connect(&s, &Session::replySettled, this, note);
    connect(&s, &Session::connected, this, note);

    for (int i = 0; i < chunks.size(); ++i) {
        if (i > 0)
            s.tick();
        s.receive(chunks.at(i));
    }
    const qint64 last = qint64(s.ticks());
    run(s, kTimeoutTicks + 3);
    QCOMPARE(settled < 0 ? -1 : settled - last, qint64(settledAt));
    QCOMPARE(s.stats().timeouts, settledAt < 0 ? 1u : 0u);
    QCOMPARE(countedAs(s.stats()), counted);
}
