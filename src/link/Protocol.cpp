#include "link/Protocol.h"

#include "link/Texts.h"

namespace movra {

namespace {
const qint32 kBaudRates[kBaudRateCount] = {2400, 4800, 9600, 19200, 38400, 57600, 115200};

const char *const kOrderModeTexts[kOrderModes] = {
    QT_TRANSLATE_NOOP("Link", "硬件决定"),
    QT_TRANSLATE_NOOP("Link", "湿度在前"),
    QT_TRANSLATE_NOOP("Link", "温度在前"),
};
} // namespace

QString orderModeText(int mode)
{
    if (mode >= 0 && mode < kOrderModes)
        return linkText(kOrderModeTexts[mode]);
    return QString::number(mode);
}

qint32 baudRateAt(int index)
{
    return index >= 0 && index < kBaudRateCount ? kBaudRates[index] : 0;
}

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

void appendCrc(QByteArray &frame)
{
    const quint16 crc = crc16(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
}

bool crcHolds(const QByteArray &bytes, int at)
{
    if (at < 0 || bytes.size() < at + 2)
        return false;
    return crc16(bytes.constData(), at) == byteAt(bytes, at) + 256 * byteAt(bytes, at + 1);
}

QByteArray buildRequestFrame(quint8 address, quint8 function, quint16 reg, quint16 value)
{
    QByteArray frame;
    frame.reserve(kRequestFrameSize);
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
    frame.reserve(kBaudFrameSize);
    frame.append(3, char(kBaudMark));
    frame.append(char(code));
    frame.append(char(0x00));
    appendCrc(frame);
    return frame;
}

quint8 baudCodeForRate(qint32 rate)
{
    for (int i = 0; i < kBaudRateCount; ++i) {
        if (kBaudRates[i] == rate)
            return quint8(i + 1);
    }
    return 0;
}

qint32 baudRateForCode(int code)
{
    if (code >= 1 && code <= kBaudRateCount)
        return kBaudRates[code - 1];
    return 9600;
}

QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

bool isExceptionReply(const QByteArray &block)
{
    return block.size() >= kExceptionSize && (byteAt(block, 1) & FnExceptionBit) != 0 &&
           crcHolds(block.left(kExceptionSize), kExceptionSize - 2);
}

namespace {
ReplyInfo notRecognised(NotRecognisedCause cause)
{
    ReplyInfo info;
    info.cause = cause;
    return info;
}

ReplyInfo recogniseRead(const QByteArray &block, int at)
{
    const int n = byteAt(block, at + 2);
    // The whole reply, CRC included, must lie inside the block; the CRC
    // covers all n+3 bytes, even for byte counts near 255.
    if (block.size() - at < n + 5)
        return notRecognised(NotRecognisedCause::TooShort);
    const QByteArray reply = block.mid(at, n + 5);
    if (!crcHolds(reply, n + 3))
        return notRecognised(NotRecognisedCause::BadCrc);
    ReplyInfo info;
    info.kind = ReplyKind::Read;
    info.address = byteAt(reply, 0);
    info.first = quint16(byteAt(reply, 3) * 256 + byteAt(reply, 4));
    info.second = n > 3 ? quint16(byteAt(reply, 5) * 256 + byteAt(reply, 6)) : 0;
    return info;
}
} // namespace

ReplyInfo recogniseBlock(const QByteArray &block, bool writePending)
{
    const int size = block.size();
    if (size < 6) {
        return notRecognised(isExceptionReply(block) ? NotRecognisedCause::Exception
                                                     : NotRecognisedCause::TooShort);
    }
    const int at = size >= 14 ? 8 : 0;
    const int available = size - at;

    // The mark is looked for at the block's own start, echo or not.
    if (byteAt(block, 0) == kBaudMark && byteAt(block, 1) == kBaudMark &&
        byteAt(block, 2) == kBaudMark && available >= kBaudFrameSize &&
        crcHolds(block.mid(at, 7), 5)) {
        ReplyInfo info;
        info.kind = ReplyKind::BaudRate;
        info.baudCode = byteAt(block, at + 3);
        return info;
    }

    const quint8 function = byteAt(block, at + 1);
    if (function == FnRead)
        return recogniseRead(block, at);
    if (function == FnWrite) {
        if (!writePending)
            return notRecognised(NotRecognisedCause::Unexpected);
        ReplyInfo info;
        info.kind = ReplyKind::WriteEcho;
        return info;
    }
    if (isExceptionReply(block.mid(at)))
        return notRecognised(NotRecognisedCause::Exception);
    return notRecognised(NotRecognisedCause::UnknownFunction);
}

QString identificationText(const QByteArray &block)
{
    QByteArray text = block;
    text.replace('\0', QByteArray("\r\n"));
    return QString::fromUtf8(text);
}

bool handshakeAccepted(const QByteArray &block, bool testMode)
{
    if (testMode)
        return block.size() >= 4;
    return identificationText(block).contains(QLatin1String("KVT582"));
}

bool testProbeAddress(const QByteArray &block, quint8 *address)
{
    if (block.size() < 5 || byteAt(block, 0) != kProbeAddress || byteAt(block, 1) != FnRead ||
        byteAt(block, 2) != 0x04)
        return false;
    *address = byteAt(block, 4);
    return true;
}

} // namespace movra
