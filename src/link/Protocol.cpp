#include "Protocol.h"

namespace movra {

namespace {
const qint32 kBaudRates[] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};

quint8 byteAt(const QByteArray &b, int i)
{
    return quint8(b.at(i));
}

void appendCrc(QByteArray &frame)
{
    const quint16 crc = crc16(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
}
} // namespace

quint16 crc16(const char *data, int length)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < length; ++i) {
        crc ^= quint8(data[i]);
        for (int bit = 0; bit < 8; ++bit) {
            const bool carry = crc & 1;
            crc >>= 1;
            if (carry)
                crc ^= 0xA001;
        }
    }
    return crc;
}

QByteArray buildRequestFrame(quint8 address, quint8 function, quint16 reg, quint16 value)
{
    QByteArray frame;
    frame.reserve(8);
    frame.append(char(address));
    frame.append(char(function));
    frame.append(char(reg >> 8));
    frame.append(char(reg & 0xFF));
    frame.append(char(value >> 8));
    frame.append(char(value & 0xFF));
    appendCrc(frame);
    return frame;
}

QByteArray buildBaudRateFrame(quint8 code)
{
    QByteArray frame;
    frame.reserve(7);
    frame.append(3, char(0xFD));
    frame.append(char(code));
    frame.append(char(0x00));
    appendCrc(frame);
    return frame;
}

quint8 baudCodeForRate(qint32 rate)
{
    for (int i = 0; i < 7; ++i) {
        if (kBaudRates[i] == rate)
            return quint8(i + 1);
    }
    return 0;
}

qint32 baudRateForCode(int code)
{
    if (code >= 1 && code <= 7)
        return kBaudRates[code - 1];
    return 9600;
}

QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

ReplyInfo recogniseBlock(const QByteArray &block, bool writePending)
{
    ReplyInfo info;
    const int size = block.size();
    if (size < 6)
        return info;
    const int at = size >= 14 ? 8 : 0;
    info.offset = at;
    const int available = size - at;

    if (byteAt(block, 0) == 0xFD && byteAt(block, 1) == 0xFD && byteAt(block, 2) == 0xFD &&
        available >= 7) {
        const quint16 crc = crc16(block.constData() + at, 5);
        if (crc == byteAt(block, at + 5) + 256 * byteAt(block, at + 6)) {
            info.kind = ReplyKind::BaudRate;
            info.baudCode = byteAt(block, at + 3);
            return info;
        }
    }

    const quint8 function = byteAt(block, at + 1);
    const int n = byteAt(block, at + 2);
    if (function == 0x03) {
        // The whole reply, CRC included, must lie inside the block; the CRC
        // covers all n+3 bytes, even for byte counts near 255.
        if (available < n + 5)
            return info;
        const quint16 crc = crc16(block.constData() + at, n + 3);
        if (crc != byteAt(block, at + n + 3) + 256 * byteAt(block, at + n + 4))
            return info;
        info.kind = ReplyKind::Read;
        info.address = byteAt(block, at);
        info.first = quint16(byteAt(block, at + 3) * 256 + byteAt(block, at + 4));
        info.second = n > 3 ? quint16(byteAt(block, at + 5) * 256 + byteAt(block, at + 6)) : 0;
        return info;
    }
    if (function == 0x06 && writePending)
        info.kind = ReplyKind::WriteEcho;
    return info;
}

bool handshakeAccepted(const QByteArray &block, bool testMode)
{
    if (testMode)
        return block.size() >= 4;
    QByteArray text = block;
    text.replace('\0', QByteArray("\r\n"));
    return QString::fromUtf8(text).contains(QLatin1String("KVT582"));
}

bool testProbeAddress(const QByteArray &block, quint8 *address)
{
    if (block.size() < 5 || byteAt(block, 0) != 0xFD || byteAt(block, 1) != 0x03 ||
        byteAt(block, 2) != 0x04)
        return false;
    *address = byteAt(block, 4);
    return true;
}

} // namespace movra
