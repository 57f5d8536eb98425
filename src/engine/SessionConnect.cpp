// Connecting: the handshake, the manual attempt, the seven-rate scan and
// the operator's disconnect.
#include "engine/Session.h"

#include "link/Protocol.h"
#include "link/Texts.h"

namespace movra {

bool Session::isConnecting() const
{
    return m_linkState == LinkState::ManualConnecting || m_linkState == LinkState::AutoConnecting;
}

bool Session::beginManualConnect()
{
    const FromOutside outside(*this);
    if (isConnecting())
        return false;
    requeueInterruptedBatchItem();
    m_linkState = LinkState::ManualConnecting;
    return true;
}

bool Session::beginAutoConnect()
{
    const FromOutside outside(*this);
    if (isConnecting())
        return false;
    requeueInterruptedBatchItem();
    m_autoBaudIndex = 0;
    m_linkState = LinkState::AutoConnecting;
    closePort();
    return true;
}

void Session::disconnectByOperator()
{
    const FromOutside outside(*this);
    const bool wasConnected = m_linkState == LinkState::Connected;
    m_linkState = LinkState::Disconnected;
    closePort();
    emit linkStatus(m_linkState);
    showControls(m_linkState);
    emit logMessage(tr("设备已经断开"));
    if (wasConnected)
        emit disconnected(true, QString());
}

void Session::checkHandshake(const QByteArray &block, qint32 probe)
{
    if (!handshakeAccepted(block, m_testMode)) {
        noteUnrecognised(NotRecognisedCause::Unexpected);
        return;
    }

    // The figures are those of this connection, its own handshake included.
    const quint64 tookTicks = m_ticks - m_sentAtTick;
    m_stats = LinkStats();
    m_stats.tickMs = timing::kTickMs;
    ++m_stats.requests;
    ++m_stats.requestsByKind[size_t(requestKindIndex(probe))];
    ++m_stats.replies;
    m_stats.response.add(quint32(tookTicks));
    m_stats.bytesRead = quint64(block.size());
    m_stats.bytesWritten = quint64(m_lastRequest.size());

    m_deadline = 0;
    m_linkState = LinkState::Connected;
    emit linkStatus(m_linkState);
    showControls(m_linkState);
    // Perhaps another unit: its order mode is not known yet.
    m_orderMode = -1;
    emit handshakeSucceeded();

    Identity identity;
    identity.port = m_port.portName();
    identity.baudRate = m_baudRate;
    identity.testMode = m_testMode;
    identity.reply = block;
    quint8 address = 0;
    if (m_testMode && testProbeAddress(block, &address)) {
        learnStation(address);
        identity.station = address;
    }
    if (m_readParamOnConnect) {
        m_batchRead.active = true;
        m_batchRead.step = ReqReadAddress;
        emit batchStarted(false);
    }
    emit replySettled(probe);
    emit connected(identity);
}

void Session::learnStation(quint8 address)
{
    m_station = address;
    emit stationLearned(address);
    emit parameterRead(Parameter::Address, address);
    emit logMessage(readBackLogText(ReqReadAddress, address));
}

void Session::sendProbes(bool bothOnOddPeriods)
{
    if (m_connectCount % 2 == 1) {
        emit logMessage(tr("正在连接设备……\r\n"));
        send(ReqProbe);
        if (bothOnOddPeriods && m_testMode)
            send(ReqTestProbe);
    } else if (m_testMode) {
        send(ReqTestProbe);
    }
}

void Session::manualConnectStep()
{
    if (m_connectCount >= timing::kManualAttemptPeriods) {
        m_connectCount = 0;
        m_linkState = LinkState::Failed;
        emit linkStatus(m_linkState);
        closePort();
        if (m_pending == ReqProbe || m_pending == ReqTestProbe)
            noteRequestGivenUp(m_pending);
        const QString hints = manualConnectHints();
        emit logMessage(tr("手动连接超时\r\n\r\n") + hints);
        emit connectTimedOut(false, hints);
    } else if (m_port.isOpen()) {
        // Test mode sends its second probe in every period, right after the
        // first on odd ones.
        sendProbes(true);
    }
    ++m_connectCount;
}

void Session::autoConnectStep()
{
    if (m_connectCount >= timing::kScanWindowPeriods) {
        m_connectCount = 0;
        closePort();
        if (m_autoBaudIndex < kBaudRateCount) {
            scanNextRate();
        } else {
            m_linkState = LinkState::Failed;
            emit linkStatus(m_linkState);
            if (m_pending == ReqProbe || m_pending == ReqTestProbe)
                noteRequestGivenUp(m_pending);
            const QString hints = autoConnectHints();
            emit logMessage(tr("自动连接超时\r\n\r\n") + hints);
            emit connectTimedOut(true, hints);
        }
    } else if (m_port.isOpen()) {
        sendProbes(false);
    }
    ++m_connectCount;
}

void Session::scanNextRate()
{
    const int index = m_autoBaudIndex;
    emit scanRateChosen(index);
    ++m_autoBaudIndex;
    m_baudRate = baudRateAt(index);
    // Port name and framing stay as the last opening set them.
    m_port.setBaudRate(m_baudRate, QSerialPort::AllDirections);
    m_port.open(QIODevice::ReadWrite);
    emit scanPortOpened(index);
}

// The link went while a batch item waited for its reply, and the handshake
// is about to take over the pending request: without this the batch would
// go on with the next item, and a write that never reached the device would
// end in "批量参数写入完成".
void Session::requeueInterruptedBatchItem()
{
    if (m_batchWrite.active && m_pending >= ReqWriteTempCorrection && m_pending <= ReqWriteBaudRate)
        m_batchWrite.step = qint16(m_pending);
    else if (m_batchRead.active && m_pending >= ReqReadAddress && m_pending <= ReqReadOrder)
        m_batchRead.step = qint16(m_pending);
}

} // namespace movra
