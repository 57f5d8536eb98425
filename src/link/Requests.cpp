#include "link/Requests.h"

#include "link/Protocol.h"
#include "link/Tenths.h"
#include "link/Texts.h"

namespace movra {

namespace {

constexpr FrameSpec read(quint8 address, quint16 reg, quint16 count)
{
    return {FrameLayout::Request, address, FnRead, reg, count};
}
constexpr FrameSpec write(quint8 address, quint16 reg)
{
    return {FrameLayout::Request, address, FnWrite, reg, 0};
}
constexpr FrameSpec baudFrame()
{
    return {FrameLayout::BaudRate, 0, 0, 0, 0};
}

constexpr int kNoParameter = -1;
constexpr int P(Parameter p)
{
    return int(p);
}

// clang-format off
const RequestSpec kRequests[] = {
    {ReqProbe, "probe", write(kAnyDevice, RegIdentify), read(kProbeAddress, RegAddress, 2),
     Settle::Handshake, GivenUpBy::ConnectionAttempt, kNoParameter, nullptr, nullptr, nullptr},
    {ReqTestProbe, "test-probe", read(kAnyDevice, RegHumidity, 2), {},
     Settle::Handshake, GivenUpBy::ConnectionAttempt, kNoParameter, nullptr, nullptr, nullptr},
    {ReqReadHumidity, "read-humidity", read(kStation, RegHumidity, 1), {},
     Settle::Measurement, GivenUpBy::NextRequest, kNoParameter, nullptr, nullptr, nullptr},
    {ReqReadTemperature, "read-temperature", read(kStation, RegTemperature, 1), {},
     Settle::Measurement, GivenUpBy::NextRequest, kNoParameter, nullptr, nullptr, nullptr},
    {ReqReadBoth, "read-both", read(kStation, RegHumidity, 2), {},
     Settle::Measurement, GivenUpBy::NextRequest, kNoParameter, nullptr, nullptr, nullptr},
    {ReqReadAddress, "read-address", read(kAnyDevice, RegAddress, 1), {},
     Settle::ParameterRead, GivenUpBy::BatchRead, P(Parameter::Address),
     nullptr, QT_TRANSLATE_NOOP("Link", "设备地址为："), QT_TRANSLATE_NOOP("Link", "读取设备地址：失败(超时)")},
    {ReqReadBaudRate, "read-baud-rate", baudFrame(), {},
     Settle::ParameterRead, GivenUpBy::BatchRead, P(Parameter::BaudRate),
     nullptr, QT_TRANSLATE_NOOP("Link", "设备波特率为："), QT_TRANSLATE_NOOP("Link", "读取波特率：失败(超时)")},
    {ReqReadTempCorrection, "read-temp-correction", read(kAnyDevice, RegTempCorrection, 1), {},
     Settle::ParameterRead, GivenUpBy::BatchRead, P(Parameter::TempCorrection),
     nullptr, QT_TRANSLATE_NOOP("Link", "设备温度修正为："), QT_TRANSLATE_NOOP("Link", "读取温度修正：失败(超时)")},
    {ReqReadHumiCorrection, "read-humi-correction", read(kAnyDevice, RegHumiCorrection, 1), {},
     Settle::ParameterRead, GivenUpBy::BatchRead, P(Parameter::HumiCorrection),
     nullptr, QT_TRANSLATE_NOOP("Link", "设备湿度修正为："), QT_TRANSLATE_NOOP("Link", "读取湿度修正：失败(超时)")},
    {ReqReadOrder, "read-order", read(kAnyDevice, RegOrder, 1), {},
     Settle::ParameterRead, GivenUpBy::BatchRead, P(Parameter::Order),
     nullptr, QT_TRANSLATE_NOOP("Link", "温湿度对调："), QT_TRANSLATE_NOOP("Link", "读取设备温湿度调换状态：失败(超时)")},
    {ReqWriteTempCorrection, "write-temp-correction", write(kAnyDevice, RegTempCorrection), {},
     Settle::WriteEcho, GivenUpBy::BatchWrite, P(Parameter::TempCorrection),
     QT_TRANSLATE_NOOP("Link", "正在写入设备的温度修正为："), nullptr,
     QT_TRANSLATE_NOOP("Link", "写入设备温度修正：失败(超时)")},
    {ReqWriteHumiCorrection, "write-humi-correction", write(kAnyDevice, RegHumiCorrection), {},
     Settle::WriteEcho, GivenUpBy::BatchWrite, P(Parameter::HumiCorrection),
     QT_TRANSLATE_NOOP("Link", "正在写入设备的湿度修正为："), nullptr,
     QT_TRANSLATE_NOOP("Link", "写入设备湿度修正：失败(超时)")},
    {ReqWriteOrder, "write-order", write(kAnyDevice, RegOrder), {},
     Settle::WriteEcho, GivenUpBy::BatchWrite, P(Parameter::Order),
     QT_TRANSLATE_NOOP("Link", "正在写入温湿度对调为："), nullptr,
     QT_TRANSLATE_NOOP("Link", "写入温湿度对调：失败(超时)")},
    {ReqWriteAddress, "write-address", write(kAnyDevice, RegAddress), {},
     Settle::WriteEcho, GivenUpBy::BatchWrite, P(Parameter::Address),
     QT_TRANSLATE_NOOP("Link", "正在写入设备的地址为："), nullptr, QT_TRANSLATE_NOOP("Link", "写入设备地址：失败(超时)")},
    {ReqWriteBaudRate, "write-baud-rate", baudFrame(), {},
     Settle::BaudWrite, GivenUpBy::BatchWrite, P(Parameter::BaudRate),
     QT_TRANSLATE_NOOP("Link", "正在写入设备的波特率为："), nullptr,
     QT_TRANSLATE_NOOP("Link", "写入设备波特率：失败(超时)")},
    // Sent right after a confirmed baud-rate write and never awaited: the
    // baud-rate reply settles the write in the same tick.
    {ReqRestart, "restart", write(kAnyDevice, RegRestart), {},
     Settle::NotAwaited, GivenUpBy::NextRequest, kNoParameter,
     nullptr, nullptr, QT_TRANSLATE_NOOP("Link", "发送重启：失败(超时)")},
};
// clang-format on

constexpr int kRows = int(sizeof(kRequests) / sizeof(kRequests[0]));
static_assert(kRows + 1 == kRequestKinds, "one statistics slot per row, one for the rest");

const char *const kOtherKind = "other";

QByteArray frameOf(const FrameSpec &f, const FrameArgs &args)
{
    const quint8 address = f.address == kStation ? args.station : f.address;
    switch (f.layout) {
    case FrameLayout::Request:
        return buildRequestFrame(address, f.function, f.reg,
                                 f.function == FnWrite ? quint16(args.value) : f.count);
    case FrameLayout::BaudRate:
        return buildBaudRateFrame(baudCodeForRate(args.value));
    case FrameLayout::None:
        break;
    }
    return QByteArray();
}
} // namespace

const RequestSpec *requestSpec(qint32 code)
{
    for (const RequestSpec &row : kRequests) {
        if (row.code == code)
            return &row;
    }
    return nullptr;
}

int requestKindIndex(qint32 code)
{
    for (int i = 0; i < kRows; ++i) {
        if (kRequests[i].code == code)
            return i;
    }
    return kRows;
}

const char *requestKindName(int index)
{
    return index >= 0 && index < kRows ? kRequests[index].name : kOtherKind;
}

QByteArray requestFrame(qint32 code, const FrameArgs &args)
{
    const RequestSpec *row = requestSpec(code);
    if (!row)
        return QByteArray();
    const bool alt = args.testMode && row->testModeFrame.layout != FrameLayout::None;
    FrameSpec f = alt ? row->testModeFrame : row->frame;
    if (args.temperatureFirst && (code == ReqReadHumidity || code == ReqReadTemperature))
        f.reg = f.reg == RegHumidity ? RegTemperature : RegHumidity;
    return frameOf(f, args);
}

qint32 readCodeOf(Parameter p)
{
    return ReqReadAddress + int(p);
}

qint32 writeCodeOf(Parameter p)
{
    for (const RequestSpec &row : kRequests) {
        if (row.givenUpBy == GivenUpBy::BatchWrite && row.parameter == int(p))
            return row.code;
    }
    return ReqNone;
}

QString sendLogText(qint32 code, qint32 value)
{
    const RequestSpec *row = requestSpec(code);
    if (!row || !row->sendLabel)
        return QString();
    const QString crlf = QStringLiteral("\r\n");
    QString text = linkText(row->sendLabel);
    switch (Parameter(row->parameter)) {
    case Parameter::TempCorrection:
        return text + tenthsText(qint16(value)) + LinkText::tr("℃\r\n");
    case Parameter::HumiCorrection:
        return text + tenthsText(qint16(value)) + QStringLiteral("%\r\n");
    case Parameter::Order:
        return text + orderModeText(value) + crlf;
    case Parameter::Address:
    case Parameter::BaudRate:
        break;
    }
    return text + QString::number(value) + crlf;
}

QString readBackLogText(qint32 code, qint32 value)
{
    const RequestSpec *row = requestSpec(code);
    if (!row || !row->readBackLabel)
        return QString();
    const QString shown = Parameter(row->parameter) == Parameter::Order ? orderModeText(value)
                                                                        : QString::number(value);
    return linkText(row->readBackLabel) + shown + QStringLiteral("\r\n");
}

QString timeoutLogText(qint32 code)
{
    const RequestSpec *row = requestSpec(code);
    return row && row->timeoutLabel ? linkText(row->timeoutLabel) : QString();
}

} // namespace movra
