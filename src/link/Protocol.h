// The transmitter's serial protocol: its vocabulary (functions, registers,
// baud codes, order modes), frame building and reply recognition. Nothing
// here needs a widget or a port, so the window, the engine, the command
// line and the simulator all speak it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace movra {

// Function codes. A reply with the high bit set is the device refusing.
enum Function : quint8 { FnRead = 0x03, FnWrite = 0x06, FnExceptionBit = 0x80 };

// The device's registers: 16 bits, most significant byte first.
enum Register : quint16 {
    RegHumidity = 0x0000,       // tenths of %RH, unsigned
    RegTemperature = 0x0001,    // tenths of degC, signed
    RegTempCorrection = 0x0050, // tenths of degC, signed
    RegHumiCorrection = 0x0051, // tenths of %RH, signed
    RegOrder = 0x0052,          // an OrderMode
    RegAddress = 0x0100,        // low byte is the station address
    RegReserved = 0x0101,       // read along with RegAddress by the test-mode probe
    RegRestart = 0x0104,        // write 0
    RegIdentify = 0x0110,       // write 0: the device answers with its identification text
};

// Parameter reads and writes go to this address, and whichever device is
// attached answers; the test-mode probe goes to the other one.
constexpr quint8 kAnyDevice = 0x00;
constexpr quint8 kProbeAddress = 0xFD;
// First three bytes of every baud-rate frame.
constexpr quint8 kBaudMark = 0xFD;
constexpr int kRequestFrameSize = 8;
constexpr int kBaudFrameSize = 7;
// An exception reply: address, function, code, CRC.
constexpr int kExceptionSize = 5;

inline quint8 byteAt(const QByteArray &bytes, int i)
{
    return quint8(bytes.at(i));
}

// The station addresses an operator may choose.
constexpr int kMinStation = 1;
constexpr int kMaxStation = 254;
// Limits of a correction, in tenths.
constexpr int kMaxCorrection = 100;

// Which value the device puts into register 0x0000.
enum class OrderMode : quint16 { Hardware = 0, HumidityFirst = 1, TemperatureFirst = 2 };
constexpr int kOrderModes = 3;
// "硬件决定", "湿度在前", "温度在前"; the number itself for any other mode.
QString orderModeText(int mode);

// Accepted readings, in tenths.
constexpr int kMinTemperature = -550;
constexpr int kMaxTemperature = 1000;
constexpr int kMaxHumidity = 1000;

// The seven rates, in the order of their codes 1..7.
constexpr int kBaudRateCount = 7;
qint32 baudRateAt(int index);

// CRC-16/MODBUS (poly 0xA001 reflected, init 0xFFFF); length 0 gives 0xFFFF.
quint16 crc16(const char *data, int length);
inline quint16 crc16(const QByteArray &bytes)
{
    return crc16(bytes.constData(), bytes.size());
}
// Appends the CRC of everything before it, low byte first.
void appendCrc(QByteArray &frame);
// The two bytes at `at` hold the CRC of the `at` bytes before them.
bool crcHolds(const QByteArray &bytes, int at);

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

// Why a block was not recognised, for the link statistics; the reply
// handling itself only cares that it was not.
enum class NotRecognisedCause { None, TooShort, BadCrc, UnknownFunction, Exception, Unexpected };

struct ReplyInfo
{
    ReplyKind kind = ReplyKind::NotRecognised;
    NotRecognisedCause cause = NotRecognisedCause::None;
    quint8 address = 0;  // read reply: station address byte
    quint16 first = 0;   // read reply: first register
    quint16 second = 0;  // read reply: second register (0 when fewer than 4 data bytes)
    quint8 baudCode = 0; // baud-rate reply: the code byte
};

// Classifies one received block. writePending is true while a parameter
// write (codes 200..204) awaits its echo; only then is function 0x06 taken.
// A block of 14 bytes or more is read from byte 8 on (an adapter's echo of
// the request comes first). Never reads past the end of the block.
ReplyInfo recogniseBlock(const QByteArray &block, bool writePending);

// A refusal: address, function | 0x80, exception code, CRC. Not a reply the
// tool acts on; counted apart so that a refusing device is told from noise.
bool isExceptionReply(const QByteArray &block);

// Connection handshake: normal mode wants the identification text,
// test mode any block of four bytes or more.
bool handshakeAccepted(const QByteArray &block, bool testMode);
// The identification text as the operator reads it: NULs as line breaks.
QString identificationText(const QByteArray &block);
// Test-mode probe reply FD 03 04 ...: gives the station address in *address.
bool testProbeAddress(const QByteArray &block, quint8 *address);

} // namespace movra
