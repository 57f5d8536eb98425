// Frames, CRC, baud codes, reply recognition, handshake and tenths texts:
// the pure functions the window and the simulator share.

#include <QStandardPaths>
#include <QtTest>
#include <limits>

#include "Bytes.h"
#include "link/Protocol.h"
#include "link/Tenths.h"

using movra::ReplyKind;
using Cause = movra::NotRecognisedCause;

Q_DECLARE_METATYPE(movra::ReplyKind)
Q_DECLARE_METATYPE(movra::NotRecognisedCause)

namespace {

using movratest::hex;
using movratest::withCrc;

// A read reply with byte count n whose data bytes are all `fill`.
QByteArray longReadReply(int n, char fill)
{
    QByteArray reply = hex("0103");
    reply.append(char(n));
    reply.append(n, fill);
    return reply;
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void crc16_data();
    void crc16();
    void requestFrame_data();
    void requestFrame();
    void baudRateFrame_data();
    void baudRateFrame();
    void baudCodeForRate_data();
    void baudCodeForRate();
    void baudRateForCode_data();
    void baudRateForCode();
    void hexText();

    void recogniseBlock_data();
    void recogniseBlock();
    void longReadReplies_data();
    void longReadReplies();

    void handshakeAccepted_data();
    void handshakeAccepted();
    void testProbeAddress_data();
    void testProbeAddress();

    void tenthsText_data();
    void tenthsText();
    void textToTenths_data();
    void textToTenths();
};

void TestProtocol::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestProtocol::crc16_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("crc");

    QTest::newRow("no bytes") << QByteArray() << 0xFFFF;
    // The catalogue check value of CRC-16/MODBUS.
    QTest::newRow("check string") << QByteArray("123456789") << 0x4B37;
    QTest::newRow("read request") << hex("010300000002") << 0x0BC4;
    QTest::newRow("baud read") << hex("FDFDFD0000") << 0x88E9;
}

void TestProtocol::crc16()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, crc);
    QCOMPARE(int(movra::crc16(bytes)), crc);
    QCOMPARE(int(movra::crc16(bytes.constData(), bytes.size())), crc);
}

void TestProtocol::requestFrame_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("read humidity+temperature at 1")
        << 0x01 << 0x03 << 0x0000 << 2 << hex("010300000002C40B");
    QTest::newRow("identification request")
        << 0x00 << 0x06 << 0x0110 << 0 << hex("0006011000008822");
    QTest::newRow("test-mode probe 1") << 0xFD << 0x03 << 0x0100 << 2 << hex("FD0301000002D1CB");
    QTest::newRow("test-mode probe 2") << 0x00 << 0x03 << 0x0000 << 2 << hex("000300000002C5DA");
    QTest::newRow("restart") << 0x00 << 0x06 << 0x0104 << 0 << hex("000601040000C826");
    QTest::newRow("read temperature correction")
        << 0x00 << 0x03 << 0x0050 << 1 << hex("00030050000185CA");
    QTest::newRow("write station address 5")
        << 0x00 << 0x06 << 0x0100 << 5 << hex("00060100000549E4");
    QTest::newRow("write temperature correction -15")
        << 0x00 << 0x06 << 0x0050 << 0xFFF1 << hex("00060050FFF1087E");
}

void TestProtocol::requestFrame()
{
    QFETCH(int, address);
    QFETCH(int, function);
    QFETCH(int, reg);
    QFETCH(int, value);
    QFETCH(QByteArray, frame);
    QCOMPARE(
        movra::buildRequestFrame(quint8(address), quint8(function), quint16(reg), quint16(value))
            .toHex(),
        frame.toHex());
}

void TestProtocol::baudRateFrame_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QByteArray>("frame");

    // Rate 0 stands for the read request, which carries code 0.
    QTest::newRow("read") << 0 << hex("FDFDFD0000E988");
    QTest::newRow("set 9600") << 9600 << hex("FDFDFD0300E978");
    QTest::newRow("14400 is no rate of the device") << 14400 << hex("FDFDFD0000E988");
}

void TestProtocol::baudRateFrame()
{
    QFETCH(int, rate);
    QFETCH(QByteArray, frame);
    QCOMPARE(movra::buildBaudRateFrame(movra::baudCodeForRate(rate)).toHex(), frame.toHex());
}

void TestProtocol::baudCodeForRate_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("code");

    const int rates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int i = 0; i < 7; ++i)
        QTest::addRow("%d", rates[i]) << rates[i] << i + 1;
    QTest::newRow("14400") << 14400 << 0;
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("1200") << 1200 << 0;
    QTest::newRow("230400") << 230400 << 0;
    QTest::newRow("-9600") << -9600 << 0;
}

void TestProtocol::baudCodeForRate()
{
    QFETCH(int, rate);
    QFETCH(int, code);
    QCOMPARE(int(movra::baudCodeForRate(rate)), code);
}

void TestProtocol::baudRateForCode_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("rate");

    const int rates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int i = 0; i < 7; ++i)
        QTest::addRow("code %d", i + 1) << i + 1 << rates[i];
    QTest::newRow("code 0") << 0 << 9600;
    QTest::newRow("code 8") << 8 << 9600;
    QTest::newRow("code 255") << 255 << 9600;
    QTest::newRow("code -1") << -1 << 9600;
}

void TestProtocol::baudRateForCode()
{
    QFETCH(int, code);
    QFETCH(int, rate);
    QCOMPARE(movra::baudRateForCode(code), rate);
}

void TestProtocol::hexText()
{
    QCOMPARE(movra::hexText(hex("000AFF7f")), QStringLiteral("000aff7f"));
    QCOMPARE(movra::hexText(QByteArray()), QString());
}

void TestProtocol::recogniseBlock_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("writePending");
    QTest::addColumn<ReplyKind>("kind");
    QTest::addColumn<Cause>("cause");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("baudCode");

    const QByteArray reply = hex("010304025800FAFA1B");
    const QByteArray echo = hex("010300000002C40B");
    const ReplyKind none = ReplyKind::NotRecognised;

    QTest::newRow("read reply, two registers")
        << reply << false << ReplyKind::Read << Cause::None << 1 << 600 << 250 << 0;
    QTest::newRow("read reply while a write is pending")
        << reply << true << ReplyKind::Read << Cause::None << 1 << 600 << 250 << 0;
    QTest::newRow("read reply, one register")
        << withCrc(hex("07030200FA")) << false << ReplyKind::Read << Cause::None << 7 << 250 << 0 << 0;
    QTest::newRow("read reply, n=3 has no second value")
        << withCrc(hex("010303010203")) << false << ReplyKind::Read << Cause::None << 1 << 0x0102 << 0 << 0;
    QTest::newRow("read reply, bad CRC") << hex("010304025800FAFA1C") << false << none << Cause::BadCrc;
    QTest::newRow("read reply, CRC bytes swapped") << hex("010304025800FA1BFA") << false << none << Cause::BadCrc;

    // 13 bytes or fewer: the reply is at byte 0; 14 or more: at byte 8.
    QTest::newRow("13-byte block read from byte 0")
        << reply + QByteArray(4, '\0') << false << ReplyKind::Read << Cause::None << 1 << 600 << 250 << 0;
    QTest::newRow("14-byte block not read from byte 0")
        << reply + QByteArray(5, '\0') << false << none << Cause::UnknownFunction;
    QTest::newRow("14-byte block read from byte 8")
        << QByteArray(8, '\x55') + withCrc(hex("090301AB")) << false << ReplyKind::Read << Cause::None << 9
        << 0xAB00 + quint8(withCrc(hex("090301AB")).at(4)) << 0 << 0;
    QTest::newRow("echo then reply")
        << echo + reply << false << ReplyKind::Read << Cause::None << 1 << 600 << 250 << 0;

    QTest::newRow("baud reply 9600")
        << hex("FDFDFD0300E978") << false << ReplyKind::BaudRate << Cause::None << 0 << 0 << 0 << 3;
    QTest::newRow("baud reply code 0")
        << hex("FDFDFD0000E988") << false << ReplyKind::BaudRate << Cause::None << 0 << 0 << 0 << 0;
    QTest::newRow("baud reply, any fifth byte")
        << withCrc(hex("FDFDFD0542")) << false << ReplyKind::BaudRate << Cause::None << 0 << 0 << 0 << 5;
    QTest::newRow("baud reply after its echo")
        << hex("FDFDFD0300E97800") + hex("FDFDFD0300E978") << false << ReplyKind::BaudRate << Cause::None << 0
        << 0 << 0 << 3;
    QTest::newRow("baud reply, bad CRC") << hex("FDFDFD0300E979") << false << none << Cause::UnknownFunction;
    // The FD FD FD test looks at the block's own first bytes, the CRC at the reply.
    QTest::newRow("FD FD FD with bad CRC examined as ordinary reply")
        << hex("FDFDFD0000E98800") + reply << false << ReplyKind::Read << Cause::None << 1 << 600 << 250 << 0;
    QTest::newRow("baud reply after an echo not starting FD")
        << QByteArray(8, '\0') + hex("FDFDFD0300E978") << false << none << Cause::UnknownFunction;
    QTest::newRow("baud reply, 6 bytes") << hex("FDFDFD0300E9") << false << none << Cause::UnknownFunction;
    QTest::newRow("baud reply after echo, 6 bytes from its start")
        << hex("FDFDFD0300E97800") + hex("FDFDFD0300E9") << false << none << Cause::UnknownFunction;

    QTest::newRow("exception reply") << withCrc(hex("018302")) << false << none << Cause::Exception;
    QTest::newRow("exception reply, write pending") << withCrc(hex("018602")) << true << none << Cause::Exception;
    QTest::newRow("function 0x10") << withCrc(hex("011001000001")) << true << none << Cause::UnknownFunction;

    QTest::newRow("write echo while a write is pending")
        << hex("00060100000549E4") << true << ReplyKind::WriteEcho << Cause::None << 0 << 0 << 0 << 0;
    // Recognition only; comparing with the request is the handler's part.
    QTest::newRow("altered write echo while a write is pending")
        << hex("000601000006") << true << ReplyKind::WriteEcho << Cause::None << 0 << 0 << 0 << 0;
    QTest::newRow("write echo with no write pending") << hex("00060100000549E4") << false << none << Cause::Unexpected;

    QTest::newRow("empty") << QByteArray() << true << none << Cause::TooShort;
    QTest::newRow("5 bytes") << hex("0006010000") << true << none << Cause::TooShort;
    QTest::newRow("read reply without CRC high byte") << hex("010304025800FAFA") << false << none << Cause::TooShort;
    QTest::newRow("read reply cut after the count") << hex("01030400000000") << false << none << Cause::TooShort;
    QTest::newRow("count beyond the block, reply after echo")
        << echo + hex("010308025800FA") << false << none << Cause::TooShort;
    // Counts near 255 must not make the check read past the block.
    QTest::newRow("count 255 in a 7-byte block") << hex("0103FF00000000") << false << none << Cause::TooShort;
    QTest::newRow("count 253 in a 13-byte block")
        << hex("0103FD00000000000000000000") << false << none << Cause::TooShort;
}

void TestProtocol::recogniseBlock()
{
    QFETCH(QByteArray, block);
    QFETCH(bool, writePending);
    QFETCH(ReplyKind, kind);

    QFETCH(Cause, cause);

    const movra::ReplyInfo info = movra::recogniseBlock(block, writePending);
    QCOMPARE(info.kind, kind);
    QCOMPARE(info.cause, cause);
    if (kind == ReplyKind::NotRecognised)
        return;

    if (kind == ReplyKind::Read) {
        QFETCH(int, address);
        QFETCH(int, first);
        QFETCH(int, second);
        QCOMPARE(int(info.address), address);
        QCOMPARE(int(info.first), first);
        QCOMPARE(int(info.second), second);
    } else if (kind == ReplyKind::BaudRate) {
        QFETCH(int, baudCode);
        QCOMPARE(int(info.baudCode), baudCode);
    }
}

void TestProtocol::longReadReplies_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("recognised");

    const QByteArray echo = hex("010300000080C43A");
    for (int n : {252, 253, 254, 255}) {
        const QByteArray reply = withCrc(longReadReply(n, '\x11'));
        QTest::addRow("n=%d, CRC over all n+3 bytes", n) << echo + reply << true;
        QTest::addRow("n=%d, one byte short", n) << echo + reply.left(reply.size() - 1) << false;
    }
    // With the length taken modulo 256, n=253 would mean a CRC of no bytes
    // (0xFFFF) and n=254, 255 a CRC of the first one or two bytes.
    QTest::newRow("n=253, CRC of zero bytes")
        << echo + longReadReply(253, '\x11') + hex("FFFF") << false;
    const QByteArray n254 = longReadReply(254, '\x11');
    QTest::newRow("n=254, CRC of the first byte")
        << echo + n254 + withCrc(n254.left(1)).mid(1) << false;
    const QByteArray n255 = longReadReply(255, '\x11');
    QTest::newRow("n=255, CRC of the first two bytes")
        << echo + n255 + withCrc(n255.left(2)).mid(2) << false;
}

void TestProtocol::longReadReplies()
{
    QFETCH(QByteArray, block);
    QFETCH(bool, recognised);

    const movra::ReplyInfo info = movra::recogniseBlock(block, false);
    QCOMPARE(info.kind, recognised ? ReplyKind::Read : ReplyKind::NotRecognised);
    if (recognised) {
        QCOMPARE(int(info.first), 0x1111);
        QCOMPARE(int(info.second), 0x1111);
    }
}

void TestProtocol::handshakeAccepted_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("testMode");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("identification text") << QByteArray("KVT582") << false << true;
    QTest::newRow("NULs before the name") << QByteArray("\0\0\0KVT582 V1.2\0", 15) << false << true;
    QTest::newRow("name inside longer text")
        << QByteArray("Model:KVT582-TH;SN:0042\r\n") << false << true;
    QTest::newRow("invalid UTF-8 before the name")
        << QByteArray("\xFF\xFE\x80KVT582") << false << true;
    QTest::newRow("lower case") << QByteArray("kvt582") << false << false;
    QTest::newRow("mixed case") << QByteArray("KVt582") << false << false;
    QTest::newRow("NUL inside the name") << QByteArray("KVT\0"
                                                       "582",
                                                       7)
                                         << false << false;
    QTest::newRow("name cut short") << QByteArray("KVT58") << false << false;
    QTest::newRow("four bytes, normal mode") << hex("FD030400") << false << false;
    QTest::newRow("empty, normal mode") << QByteArray() << false << false;

    QTest::newRow("test mode, 3 bytes") << hex("FD0304") << true << false;
    QTest::newRow("test mode, 4 bytes") << hex("00000000") << true << true;
    QTest::newRow("test mode, probe reply") << withCrc(hex("FD030400050000")) << true << true;
    QTest::newRow("test mode, empty") << QByteArray() << true << false;
    QTest::newRow("test mode, identification text 5 bytes") << QByteArray("KVT58") << true << true;
}

void TestProtocol::handshakeAccepted()
{
    QFETCH(QByteArray, block);
    QFETCH(bool, testMode);
    QFETCH(bool, accepted);
    QCOMPARE(movra::handshakeAccepted(block, testMode), accepted);
}

void TestProtocol::testProbeAddress_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("address");

    QTest::newRow("probe reply") << withCrc(hex("FD030400050000")) << true << 5;
    QTest::newRow("five bytes") << hex("FD03040005") << true << 5;
    QTest::newRow("address 254, high byte ignored") << hex("FD030401FE") << true << 254;
    QTest::newRow("four bytes") << hex("FD030400") << false << 0;
    QTest::newRow("other address") << hex("01030400050000") << false << 0;
    QTest::newRow("other function") << hex("FD060400050000") << false << 0;
    QTest::newRow("other count") << hex("FD030200050000") << false << 0;
}

void TestProtocol::testProbeAddress()
{
    QFETCH(QByteArray, block);
    QFETCH(bool, found);
    QFETCH(int, address);

    quint8 got = 0xAA;
    QCOMPARE(movra::testProbeAddress(block, &got), found);
    QCOMPARE(int(got), found ? address : 0xAA);
}

void TestProtocol::tenthsText_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("253") << qint64(253) << "25.3";
    QTest::newRow("5") << qint64(5) << "0.5";
    QTest::newRow("0") << qint64(0) << "0.0";
    QTest::newRow("-5") << qint64(-5) << "-0.5";
    QTest::newRow("-255") << qint64(-255) << "-25.5";
    QTest::newRow("1000") << qint64(1000) << "100.0";
    QTest::newRow("-550") << qint64(-550) << "-55.0";
    QTest::newRow("-10") << qint64(-10) << "-1.0";
    QTest::newRow("quint16 max") << qint64(65535) << "6553.5";
    QTest::newRow("quint32 max") << qint64(4294967295LL) << "429496729.5";
    QTest::newRow("qint32 min") << qint64(std::numeric_limits<qint32>::min()) << "-214748364.8";
    QTest::newRow("qint64 max") << std::numeric_limits<qint64>::max() << "922337203685477580.7";
    QTest::newRow("qint64 min") << std::numeric_limits<qint64>::min() << "-922337203685477580.8";
}

void TestProtocol::tenthsText()
{
    QFETCH(qint64, value);
    QFETCH(QString, text);
    QCOMPARE(movra::tenthsText(value), text);
}

void TestProtocol::textToTenths_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("minimum");
    QTest::addColumn<qint64>("maximum");
    QTest::addColumn<qint64>("tenths");

    const qint64 i32min = std::numeric_limits<qint32>::min();
    const qint64 i32max = std::numeric_limits<qint32>::max();
    const qint64 u16max = 65535;
    const qint64 u32max = 4294967295LL;

    QTest::newRow("25.3") << "25.3" << i32min << i32max << qint64(253);
    QTest::newRow("0.5") << "0.5" << i32min << i32max << qint64(5);
    QTest::newRow("4.35 truncates") << "4.35" << i32min << i32max << qint64(43);
    QTest::newRow("-4.35 truncates toward zero") << "-4.35" << i32min << i32max << qint64(-43);
    QTest::newRow("-0.5") << "-0.5" << i32min << i32max << qint64(-5);
    QTest::newRow("-12.3") << "-12.3" << i32min << i32max << qint64(-123);
    QTest::newRow("integer") << "50" << qint64(0) << u16max << qint64(500);
    QTest::newRow("decimal comma is no number") << "25,3" << i32min << i32max << qint64(0);
    QTest::newRow("empty") << "" << i32min << i32max << qint64(0);
    QTest::newRow("letters") << "abc" << i32min << i32max << qint64(0);
    QTest::newRow("nan") << "nan" << i32min << i32max << qint64(0);
    QTest::newRow("1e10 saturates at qint32 max") << "1e10" << i32min << i32max << i32max;
    QTest::newRow("-1e10 saturates at qint32 min") << "-1e10" << i32min << i32max << i32min;
    QTest::newRow("inf") << "inf" << i32min << i32max << i32max;
    QTest::newRow("-inf") << "-inf" << i32min << i32max << i32min;
    QTest::newRow("1e10 into quint32") << "1e10" << qint64(0) << u32max << u32max;
    QTest::newRow("6553.5 into quint16") << "6553.5" << qint64(0) << u16max << u16max;
    QTest::newRow("6553.6 into quint16") << "6553.6" << qint64(0) << u16max << u16max;
    QTest::newRow("7000 into quint16") << "7000" << qint64(0) << u16max << u16max;
    QTest::newRow("negative into quint16") << "-0.5" << qint64(0) << u16max << qint64(0);
    QTest::newRow("negative into quint32") << "-1" << qint64(0) << u32max << qint64(0);
    QTest::newRow("-inf into quint32") << "-inf" << qint64(0) << u32max << qint64(0);
    QTest::newRow("1e30 into qint64")
        << "1e30" << std::numeric_limits<qint64>::min() << std::numeric_limits<qint64>::max()
        << std::numeric_limits<qint64>::max();
}

void TestProtocol::textToTenths()
{
    QFETCH(QString, text);
    QFETCH(qint64, minimum);
    QFETCH(qint64, maximum);
    QFETCH(qint64, tenths);
    QCOMPARE(movra::textToTenths(text, minimum, maximum), tenths);
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
