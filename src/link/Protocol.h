// Frame building and reply recognition for the transmitter's serial protocol.
// Nothing here needs a widget, so both the window and the simulator use it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace movra {

// CRC-16/MODBUS (poly 0xA001 reflected, init 0xFFFF); length 0 gives 0xFFFF.
quint16 crc16(const char *data, int length);
inline quint16 crc16(const QByteArray &bytes)
{
    return crc16(bytes.constData(), bytes.size());
}

// 8-byte request: address, function, register, value, CRC low, CRC high.
QByteArray buildRequestFrame(quint8 address, quint8 function, quint16 reg, quint16 value);
// 7-byte baud-rate frame: FD FD FD code 00 CRC low, CRC high.
QByteArray buildBaudRateFrame(quint8 code);

// Baud code 1..7 for a rate, 0 when the rate is not one of the seven.
quint8 baudCodeForRate(qint32 rate);
// Rate for a reply's code; anything outside 1..7 reads as 9600.
qint32 baudRateForCode(int code);

// Two lower-case hex digits per byte, no separators.
QString hexText(const QByteArray &bytes);

enum class ReplyKind { NotRecognised, BaudRate, Read, WriteEcho };

struct ReplyInfo
{
    ReplyKind kind = ReplyKind::NotRecognised;
    int offset = 0;      // where the reply starts inside the block (0 or 8)
    quint8 address = 0;  // read reply: station address byte
    quint16 first = 0;   // read reply: first register
    quint16 second = 0;  // read reply: second register (0 when fewer than 4 data bytes)
    quint8 baudCode = 0; // baud-rate reply: the code byte
};

// Classifies one received block. writePending is true while a parameter
// write (codes 200..204) awaits its echo; only then is function 0x06 taken.
// Never reads past the end of the block.
ReplyInfo recogniseBlock(const QByteArray &block, bool writePending);

// Connection handshake: normal mode wants the identification text,
// test mode any block of four bytes or more.
bool handshakeAccepted(const QByteArray &block, bool testMode);
// Test-mode probe reply FD 03 04 ...: gives the station address in *address.
bool testProbeAddress(const QByteArray &block, quint8 *address);

} // namespace movra
