// Applying a received block to the request it answers. True settles the
// pending request; false leaves it to its time-out.
#include "engine/Session.h"

#include "link/Protocol.h"

namespace movra {

void Session::noteUnrecognised(NotRecognisedCause cause)
{
    switch (cause) {
    case NotRecognisedCause::None:
        break;
    case NotRecognisedCause::Exception:
        ++m_stats.exceptions;
        break;
    case NotRecognisedCause::TooShort:
        ++m_stats.notRecognised[size_t(BlockCause::TooShort)];
        break;
    case NotRecognisedCause::BadCrc:
        ++m_stats.notRecognised[size_t(BlockCause::BadCrc)];
        break;
    case NotRecognisedCause::UnknownFunction:
        ++m_stats.notRecognised[size_t(BlockCause::UnknownFunction)];
        break;
    case NotRecognisedCause::Unexpected:
        ++m_stats.notRecognised[size_t(BlockCause::Unexpected)];
        break;
    }
}

bool Session::handleReply(const QByteArray &block)
{
    // The handler has always seen at most 65535 bytes of a block.
    const QByteArray bytes = block.left(0xFFFF);
    const bool writePending = m_pending >= ReqWriteTempCorrection && m_pending <= ReqWriteBaudRate;
    const ReplyInfo reply = recogniseBlock(bytes, writePending);
    if (reply.kind == ReplyKind::NotRecognised) {
        noteUnrecognised(reply.cause);
        return false;
    }
    ++m_stats.replies;
    switch (reply.kind) {
    case ReplyKind::BaudRate:
        return applyBaudReply(bytes, reply.baudCode);
    case ReplyKind::WriteEcho:
        return applyWriteEcho(bytes);
    case ReplyKind::Read:
        applyRead(reply.address, reply.first, reply.second);
        return true;
    case ReplyKind::NotRecognised:
        break;
    }
    return false;
}

bool Session::applyBaudReply(const QByteArray &bytes, quint8 baudCode)
{
    if (m_pending == ReqWriteBaudRate) {
        emit logMessage(hexText(m_lastRequest) + QLatin1Char('\t') + hexText(bytes));
        emit logMessage(tr("写入成功"));
        emit writeConfirmed(ReqWriteBaudRate, m_pendingValue);
        emit logMessage(tr("正在重启设备：\r\n"));
        // Not awaited: the caller settles the baud-rate write right away,
        // and the device is not expected to answer while it restarts.
        writeRequestFrame(ReqRestart, 0);
    } else if (baudCode != 0) {
        showBaudRate(baudRateForCode(baudCode));
    }
    return true;
}

bool Session::applyWriteEcho(const QByteArray &bytes)
{
    const QString sent = hexText(m_lastRequest);
    const QString got = hexText(bytes);
    emit logMessage(sent + QLatin1Char('\t') + got);
    if (sent == got) {
        emit logMessage(tr("写入成功"));
        if (m_pending == ReqWriteOrder)
            m_orderMode = m_pendingValue;
        emit writeConfirmed(m_pending, m_pendingValue);
        return true;
    }
    emit logMessage(tr("写入失败"));
    emit writeRejected(m_pending);
    return false;
}

void Session::showBaudRate(qint32 rate)
{
    emit parameterRead(Parameter::BaudRate, rate);
    emit logMessage(readBackLogText(ReqReadBaudRate, rate));
}

void Session::applyRead(quint8 address, quint16 first, quint16 second)
{
    const bool ours = address == m_station;
    switch (m_pending) {
    case ReqReadHumidity:
        if (ours)
            applyMeasurement(0, first, false, true);
        break;
    case ReqReadTemperature:
        if (ours)
            applyMeasurement(qint16(first), 0, true, false);
        break;
    case ReqReadBoth:
        if (ours && m_orderMode == qint32(OrderMode::TemperatureFirst))
            applyMeasurement(qint16(first), second, true, true);
        else if (ours)
            applyMeasurement(qint16(second), first, true, true);
        break;
    case ReqReadAddress:
        learnStation(quint8(first & 0xFF));
        break;
    case ReqReadBaudRate:
        showBaudRate(baudRateForCode(first));
        break;
    case ReqReadTempCorrection:
    case ReqReadHumiCorrection:
    case ReqReadOrder: {
        const qint32 value = m_pending == ReqReadOrder ? qint32(first) : qint32(qint16(first));
        if (m_pending == ReqReadOrder)
            m_orderMode = value;
        emit parameterRead(Parameter(requestSpec(m_pending)->parameter), value);
        emit logMessage(readBackLogText(m_pending, value));
        break;
    }
    default:
        break;
    }
}

} // namespace movra
