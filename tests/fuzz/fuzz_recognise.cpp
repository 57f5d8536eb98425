// Reply recognition on arbitrary blocks from the line, with and without a
// write awaiting its echo. Not a second recogniser: each result is held to
// what the frame layout itself says it must satisfy.
//
// The layout: a reply starts at byte 0 of a block of 13 bytes or fewer, at
// byte 8 of a longer one (an adapter's echo of the 8-byte request comes
// first). A read reply is address, 0x03, n, n data bytes, CRC over the n+3
// bytes before it; a baud-rate reply is FD FD FD code 00 and a CRC over
// those 5, its mark at the block's own start; a write reply is the echo of
// the write, function 0x06; a refusal has the function's high bit set and a
// CRC over its first 3 bytes. Every CRC is CRC-16/MODBUS, low byte first.

#include "FuzzCheck.h"
#include "link/Protocol.h"

#include <cstdint>

using movra::NotRecognisedCause;
using movra::ReplyInfo;
using movra::ReplyKind;
using movrafuzz::byteAt;
using movrafuzz::referenceCrc;

namespace {

int replyStart(const QByteArray &block)
{
    return block.size() >= 14 ? 8 : 0;
}

// The CRC of `count` bytes at `from` sits in the two bytes after them.
bool crcAfter(const QByteArray &block, int from, int count)
{
    if (from + count + 2 > block.size())
        return false;
    const int stored = byteAt(block, from + count) | byteAt(block, from + count + 1) << 8;
    return referenceCrc(block, from, count) == stored;
}

quint16 word(const QByteArray &block, int at)
{
    return quint16(byteAt(block, at) << 8 | byteAt(block, at + 1));
}

void checkRead(const QByteArray &block, const ReplyInfo &info)
{
    const int at = replyStart(block);
    MOVRA_REQUIRE(byteAt(block, at + 1) == 0x03);
    const int n = byteAt(block, at + 2);
    MOVRA_REQUIRE(crcAfter(block, at, n + 3));
    MOVRA_REQUIRE(info.address == byteAt(block, at));
    // Registers are big-endian; a second register the reply lacks reads 0.
    if (n >= 2)
        MOVRA_REQUIRE(info.first == word(block, at + 3));
    MOVRA_REQUIRE(info.second == (n >= 4 ? word(block, at + 5) : 0));
}

void checkBaud(const QByteArray &block, const ReplyInfo &info)
{
    const int at = replyStart(block);
    MOVRA_REQUIRE(byteAt(block, 0) == 0xFD && byteAt(block, 1) == 0xFD && byteAt(block, 2) == 0xFD);
    MOVRA_REQUIRE(crcAfter(block, at, 5));
    MOVRA_REQUIRE(info.baudCode == byteAt(block, at + 3));
}

// Why a block was not taken must be true of the block.
void checkCause(const QByteArray &block, bool writePending, NotRecognisedCause cause)
{
    const int at = replyStart(block);
    switch (cause) {
    case NotRecognisedCause::None:
        MOVRA_REQUIRE(!"a block not recognised without a cause");
        break;
    case NotRecognisedCause::TooShort:
        // Shorter than any reply, or shorter than its own read reply says.
        MOVRA_REQUIRE(block.size() < 6 || (byteAt(block, at + 1) == 0x03 &&
                                           block.size() < at + byteAt(block, at + 2) + 5));
        break;
    case NotRecognisedCause::BadCrc:
        // The whole reply is there; its CRC is not.
        MOVRA_REQUIRE(block.size() >= 6 && byteAt(block, at + 1) == 0x03);
        MOVRA_REQUIRE(block.size() >= at + byteAt(block, at + 2) + 5);
        MOVRA_REQUIRE(!crcAfter(block, at, byteAt(block, at + 2) + 3));
        break;
    case NotRecognisedCause::UnknownFunction:
        MOVRA_REQUIRE(block.size() >= 6);
        MOVRA_REQUIRE(byteAt(block, at + 1) != 0x03 && byteAt(block, at + 1) != 0x06);
        // A well-formed refusal is told apart.
        MOVRA_REQUIRE(!((byteAt(block, at + 1) & 0x80) != 0 && crcAfter(block, at, 3)));
        break;
    case NotRecognisedCause::Exception: {
        const int from = block.size() < 6 ? 0 : at;
        MOVRA_REQUIRE((byteAt(block, from + 1) & 0x80) != 0);
        MOVRA_REQUIRE(crcAfter(block, from, 3));
        break;
    }
    case NotRecognisedCause::Unexpected:
        // A write echo with no write waiting.
        MOVRA_REQUIRE(!writePending && block.size() >= 6 && byteAt(block, at + 1) == 0x06);
        break;
    }
}

// What a block must be taken as, whatever else it holds: a good baud-rate
// frame first, else a whole read reply with a good CRC.
void checkTaken(const QByteArray &block, const ReplyInfo &info)
{
    if (block.size() < 6)
        return;
    const int at = replyStart(block);
    const bool marked =
        byteAt(block, 0) == 0xFD && byteAt(block, 1) == 0xFD && byteAt(block, 2) == 0xFD;
    if (marked && crcAfter(block, at, 5))
        MOVRA_REQUIRE(info.kind == ReplyKind::BaudRate);
    else if (byteAt(block, at + 1) == 0x03 && crcAfter(block, at, byteAt(block, at + 2) + 3))
        MOVRA_REQUIRE(info.kind == ReplyKind::Read);
}

void checkOne(const QByteArray &block, bool writePending)
{
    const ReplyInfo info = movra::recogniseBlock(block, writePending);
    if (block.size() < 6)
        MOVRA_REQUIRE(info.kind == ReplyKind::NotRecognised);
    checkTaken(block, info);
    MOVRA_REQUIRE((info.kind == ReplyKind::NotRecognised) ==
                  (info.cause != NotRecognisedCause::None));
    switch (info.kind) {
    case ReplyKind::Read:
        checkRead(block, info);
        break;
    case ReplyKind::BaudRate:
        checkBaud(block, info);
        break;
    case ReplyKind::WriteEcho:
        MOVRA_REQUIRE(writePending);
        MOVRA_REQUIRE(byteAt(block, replyStart(block) + 1) == 0x06);
        break;
    case ReplyKind::NotRecognised:
        checkCause(block, writePending, info.cause);
        break;
    }
}

QByteArray withCrc(QByteArray bytes)
{
    const quint16 crc = referenceCrc(bytes, 0, bytes.size());
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

// Replies made to the layout from the input's bytes are taken, where they
// stand and with what they carry.
void checkBuiltReplies(const QByteArray &input)
{
    const auto in = [&input](int i, quint8 otherwise) {
        return i < input.size() ? byteAt(input, i) : otherwise;
    };
    QByteArray read;
    read.append(char(in(0, 1))).append(char(0x03));
    const int n = 1 + in(1, 3) % 255; // 1..255 data bytes
    read.append(char(n));
    for (int i = 0; i < n; ++i)
        read.append(char(in(i + 2, quint8(i))));
    read = withCrc(read);

    // Alone when it fits in 13 bytes, else behind the echo of its request.
    const QByteArray echo = movra::buildRequestFrame(in(0, 1), 0x03, 0x0000, 2);
    const QByteArray block = read.size() <= 13 ? read : echo + read;
    const int at = block.size() - read.size();
    for (bool writePending : {false, true}) {
        const ReplyInfo info = movra::recogniseBlock(block, writePending);
        MOVRA_REQUIRE(info.kind == ReplyKind::Read);
        MOVRA_REQUIRE(info.address == byteAt(block, at));
    }
    // One byte short of its CRC it is never taken: still read from the
    // same start, the reply no longer fits.
    MOVRA_REQUIRE(movra::recogniseBlock(block.left(block.size() - 1), false).kind !=
                  ReplyKind::Read);

    const quint8 code = in(2, 3);
    const ReplyInfo baud = movra::recogniseBlock(movra::buildBaudRateFrame(code), false);
    MOVRA_REQUIRE(baud.kind == ReplyKind::BaudRate);
    MOVRA_REQUIRE(baud.baudCode == code);

    // A write comes back as its own echo, taken only while a write waits.
    const QByteArray write =
        movra::buildRequestFrame(in(0, 0), 0x06, quint16(in(3, 0) << 8 | in(4, 0x50)),
                                 quint16(in(5, 0xFF) << 8 | in(6, 0xF1)));
    MOVRA_REQUIRE(crcAfter(write, 0, 6));
    MOVRA_REQUIRE(movra::recogniseBlock(write, true).kind == ReplyKind::WriteEcho);
    MOVRA_REQUIRE(movra::recogniseBlock(write, false).kind == ReplyKind::NotRecognised);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0xFFFF)
        return 0; // the engine hands over at most 16 bits of length
    // No copy: ASan reports a read even one byte past the block.
    const QByteArray block = movrafuzz::exactBlock(data, size);

    checkOne(block, false);
    checkOne(block, true);
    // A waiting write only ever adds the echo.
    const ReplyInfo idle = movra::recogniseBlock(block, false);
    if (idle.kind != ReplyKind::NotRecognised)
        MOVRA_REQUIRE(movra::recogniseBlock(block, true).kind == idle.kind);

    // What the log shows of the block says exactly the block.
    MOVRA_REQUIRE(QByteArray::fromHex(movra::hexText(block).toLatin1()) == block);
    MOVRA_REQUIRE(movra::crc16(block) == referenceCrc(block, 0, block.size()));

    checkBuiltReplies(block);
    return 0;
}
