// Every request the tool can have outstanding, in one table: its code, its
// frame, the texts its log lines use, how its reply settles it and what
// gives it up when no reply comes. The numbers matter: the batch sequencers
// walk 100..105 and 200..206 by adding one.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace movra {

enum RequestCode : qint32 {
    ReqNone = 0,
    ReqProbe = 1,     // identification request; the address probe in test mode
    ReqTestProbe = 2, // test mode only: a plain read at address 0
    ReqReadHumidity = 3,
    ReqReadTemperature = 4,
    ReqReadBoth = 5,
    ReqReadAddress = 100,
    ReqReadBaudRate = 101,
    ReqReadTempCorrection = 102,
    ReqReadHumiCorrection = 103,
    ReqReadOrder = 104,
    ReqReadEnd = 105, // the batch read has sent everything
    ReqWriteTempCorrection = 200,
    ReqWriteHumiCorrection = 201,
    ReqWriteOrder = 202,
    ReqWriteAddress = 203,
    ReqWriteBaudRate = 204,
    ReqRestart = 205,
    ReqWriteEnd = 206, // the batch write has sent everything
};

// The device's five parameters, in the order the batch read asks for them.
enum class Parameter { Address = 0, BaudRate, TempCorrection, HumiCorrection, Order };
constexpr int kParameterCount = 5;

// How a reply settles a request.
enum class Settle {
    Handshake,     // judged by the connection handshake
    Measurement,   // read reply from the operator's station
    ParameterRead, // read reply (or baud-rate reply) shown as a parameter
    WriteEcho,     // the device echoes the frame
    BaudWrite,     // the device answers with a baud-rate frame, then restarts
    NotAwaited,    // nothing waits for it
};

// What gives a request up when no reply comes.
enum class GivenUpBy {
    ConnectionAttempt, // the connection procedure's own time-out
    BatchRead,         // the batch read's time-out
    BatchWrite,        // the batch write's time-out
    NextRequest,       // nothing: the next request replaces it
};

enum class FrameLayout { None, Request, BaudRate };

struct FrameSpec
{
    FrameLayout layout = FrameLayout::None;
    quint8 address = 0; // kStation: the operator's station address
    quint8 function = 0;
    quint16 reg = 0;
    quint16 count = 0; // reads: registers; writes and baud frames: the value given
};
// Stands for the operator's station address in a FrameSpec.
constexpr quint8 kStation = 0xFF;

struct RequestSpec
{
    qint32 code;
    const char *name; // stable, for statistics and scripts
    FrameSpec frame;
    FrameSpec testModeFrame; // layout None: the same frame in test mode
    Settle settle;
    GivenUpBy givenUpBy;
    int parameter;             // a Parameter, or -1
    const char *sendLabel;     // before a written value
    const char *readBackLabel; // before a value read back
    const char *timeoutLabel;  // the line logged when it is given up
};

// The row of a code; nullptr for a code without one.
const RequestSpec *requestSpec(qint32 code);
// Dense index 0..kRequestKinds-1 for statistics; unknown codes share the last.
constexpr int kRequestKinds = 17;
int requestKindIndex(qint32 code);
const char *requestKindName(int index);

// What a frame needs beyond its row: the operator's station, a written
// value (tenths, an order mode, an address or a baud rate) and the mode.
struct FrameArgs
{
    quint8 station = 1;
    qint32 value = 0;
    bool testMode = false;
    // The device swaps its two measurement registers: a single reading asks
    // for the register that holds its quantity.
    bool temperatureFirst = false;
};
// The frame of a code; empty for a code that sends nothing.
QByteArray requestFrame(qint32 code, const FrameArgs &args);

// The read and write codes of a parameter.
qint32 readCodeOf(Parameter p);
qint32 writeCodeOf(Parameter p);

// "正在写入设备的温度修正为：-0.5℃\r\n" and the like.
QString sendLogText(qint32 code, qint32 value);
// "设备地址为：5\r\n" and the like; value as decoded (a baud rate, not its code).
QString readBackLogText(qint32 code, qint32 value);
// "读取设备地址：失败(超时)" and the like; empty without one.
QString timeoutLogText(qint32 code);

} // namespace movra
