// Reply recognition and decoding on arbitrary blocks from the line, with and
// without a write awaiting its echo. Besides memory safety, the result is
// compared with a plain reading of the reply rules, and replies built from
// the input are checked to decode to what went in.

#include "FuzzCheck.h"
#include "link/Protocol.h"

#include <cstdint>

using movra::ReplyInfo;
using movra::ReplyKind;
using movrafuzz::byteAt;
using movrafuzz::referenceCrc;

namespace {

ReplyInfo expected(const QByteArray &block, bool writePending)
{
    ReplyInfo info;
    const int size = block.size();
    if (size < 6)
        return info;
    const int at = size >= 14 ? 8 : 0;
    const int available = size - at;
    info.offset = at;
    if (byteAt(block, 0) == 0xFD && byteAt(block, 1) == 0xFD && byteAt(block, 2) == 0xFD &&
        available >= 7 &&
        referenceCrc(block, at, 5) == (byteAt(block, at + 5) | byteAt(block, at + 6) << 8)) {
        info.kind = ReplyKind::BaudRate;
        info.baudCode = byteAt(block, at + 3);
        return info;
    }
    const int function = byteAt(block, at + 1);
    const int n = byteAt(block, at + 2);
    if (function == 0x03 && available >= n + 5 &&
        referenceCrc(block, at, n + 3) ==
            (byteAt(block, at + n + 3) | byteAt(block, at + n + 4) << 8)) {
        info.kind = ReplyKind::Read;
        info.address = byteAt(block, at);
        info.first = quint16(byteAt(block, at + 3) << 8 | byteAt(block, at + 4));
        info.second = n > 3 ? quint16(byteAt(block, at + 5) << 8 | byteAt(block, at + 6)) : 0;
    } else if (function == 0x06 && writePending) {
        info.kind = ReplyKind::WriteEcho;
    }
    return info;
}

void requireSame(const ReplyInfo &got, const ReplyInfo &want)
{
    MOVRA_REQUIRE(got.kind == want.kind);
    if (want.kind == ReplyKind::NotRecognised)
        return;
    MOVRA_REQUIRE(got.offset == want.offset);
    if (want.kind == ReplyKind::BaudRate)
        MOVRA_REQUIRE(got.baudCode == want.baudCode);
    if (want.kind == ReplyKind::Read) {
        MOVRA_REQUIRE(got.address == want.address);
        MOVRA_REQUIRE(got.first == want.first);
        MOVRA_REQUIRE(got.second == want.second);
    }
}

QByteArray withCrc(QByteArray bytes)
{
    const quint16 crc = referenceCrc(bytes, 0, bytes.size());
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

// A read reply from the input: address, 0x03, byte count, data, CRC.
QByteArray readReply(const QByteArray &input, int count)
{
    QByteArray reply;
    reply.append(input.isEmpty() ? char(1) : input[0]);
    reply.append(char(0x03));
    reply.append(char(count));
    for (int i = 0; i < count; ++i)
        reply.append(input.size() > i + 1 ? input[i + 1] : char(i));
    return withCrc(reply);
}

void checkBuiltReplies(const QByteArray &input)
{
    // Short replies stand alone: 6 to 13 bytes, as anything longer is taken
    // for an echo followed by the reply.
    const int count = 1 + (input.isEmpty() ? 0 : byteAt(input, 0) % 8);
    const QByteArray alone = readReply(input, count);
    const ReplyInfo a = movra::recogniseBlock(alone, false);
    MOVRA_REQUIRE(a.kind == ReplyKind::Read);
    MOVRA_REQUIRE(a.offset == 0);
    MOVRA_REQUIRE(a.address == byteAt(alone, 0));
    MOVRA_REQUIRE(a.first == quint16(byteAt(alone, 3) << 8 | byteAt(alone, 4)));

    // After an echo of the request any byte count from 1 to 255 decodes.
    const int longCount = qMax(1, input.size() > 1 ? int(byteAt(input, 1)) : 255);
    const QByteArray echo = movra::buildRequestFrame(1, 0x03, 0x0000, 2);
    const QByteArray reply = readReply(input, longCount);
    const ReplyInfo b = movra::recogniseBlock(echo + reply, false);
    MOVRA_REQUIRE(b.kind == ReplyKind::Read);
    MOVRA_REQUIRE(b.offset == 8);
    MOVRA_REQUIRE(b.address == byteAt(reply, 0));
    MOVRA_REQUIRE(b.first == quint16(byteAt(reply, 3) << 8 | byteAt(reply, 4)));
    MOVRA_REQUIRE(b.second ==
                  (longCount > 3 ? quint16(byteAt(reply, 5) << 8 | byteAt(reply, 6)) : 0));

    // The same reply one byte short of its CRC is never taken (still 14
    // bytes or more, so still read behind the echo).
    if (longCount >= 2) {
        const QByteArray cut = (echo + reply).left(echo.size() + reply.size() - 1);
        MOVRA_REQUIRE(movra::recogniseBlock(cut, false).kind != ReplyKind::Read);
    }

    // A baud-rate frame reads back as a baud-rate reply with its code.
    const quint8 code = input.size() > 2 ? byteAt(input, 2) : 3;
    const ReplyInfo baud = movra::recogniseBlock(movra::buildBaudRateFrame(code), false);
    MOVRA_REQUIRE(baud.kind == ReplyKind::BaudRate);
    MOVRA_REQUIRE(baud.baudCode == code);

    // A write request comes back as its own echo, and only while a write waits.
    if (input.size() >= 6) {
        const QByteArray write = movra::buildRequestFrame(
            byteAt(input, 0), 0x06, quint16(byteAt(input, 2) << 8 | byteAt(input, 3)),
            quint16(byteAt(input, 4) << 8 | byteAt(input, 5)));
        MOVRA_REQUIRE(write.size() == 8);
        MOVRA_REQUIRE(referenceCrc(write, 0, 6) == (byteAt(write, 6) | byteAt(write, 7) << 8));
        MOVRA_REQUIRE(movra::recogniseBlock(write, true).kind == ReplyKind::WriteEcho);
        MOVRA_REQUIRE(movra::recogniseBlock(write, false).kind == ReplyKind::NotRecognised);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0xFFFF)
        return 0; // the window hands over at most 16 bits of length
    const QByteArray block = movrafuzz::exactBlock(data, size);

    const ReplyInfo idle = movra::recogniseBlock(block, false);
    const ReplyInfo writing = movra::recogniseBlock(block, true);
    requireSame(idle, expected(block, false));
    requireSame(writing, expected(block, true));
    // A waiting write only ever adds the echo.
    if (idle.kind != ReplyKind::NotRecognised)
        MOVRA_REQUIRE(writing.kind == idle.kind);
    MOVRA_REQUIRE(idle.kind != ReplyKind::WriteEcho);

    // What the log shows of the block says exactly the block.
    MOVRA_REQUIRE(QByteArray::fromHex(movra::hexText(block).toLatin1()) == block);
    MOVRA_REQUIRE(movra::crc16(block) == referenceCrc(block, 0, block.size()));

    checkBuiltReplies(block);
    return 0;
}
