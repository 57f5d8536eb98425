#include "engine/Session.h"

#include "link/Protocol.h"

namespace movra {

Session::Session(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<movra::LinkState>();
    qRegisterMetaType<movra::Measurement>();
    qRegisterMetaType<movra::Identity>();
    qRegisterMetaType<movra::Parameter>();
    m_stats.tickMs = timing::kTickMs;
    connect(&m_port, &QSerialPort::errorOccurred, this, &Session::onPortError);
    connect(&m_port, &QSerialPort::readyRead, this, &Session::onReadyRead);
}

Session::~Session()
{
    // Nothing may be reported from a session that is going away.
    disconnect(&m_port, nullptr, this, nullptr);
    if (m_port.isOpen())
        m_port.close();
}

void Session::tick()
{
    ++m_ticks;
    takeReply();
    checkDeadline();

    if (++m_periodTicks >= timing::kPeriodTicks) {
        m_periodTicks = 0;
        if (m_linkState == LinkState::ManualConnecting)
            manualConnectStep();
        if (m_linkState == LinkState::AutoConnecting)
            autoConnectStep();
        if (m_linkState == LinkState::Connected) {
            batchWriteStep();
            batchReadStep();
        }
    }

    if (++m_secondTicks >= timing::kSecondTicks) {
        m_secondTicks = 0;
        if (m_linkState == LinkState::Connected)
            pollMeasurement();
    }
}

int Session::ticksUntilDue() const
{
    int due = -1;
    const auto sooner = [&due](int ticks) {
        if (due < 0 || ticks < due)
            due = ticks;
    };
    const bool waitsForMore = m_intake == Intake::WhenComplete && m_rxEnd == ReplyEnd::Incomplete;
    if (!m_rx.isEmpty() && !waitsForMore)
        sooner(m_rx.size() > timing::kTakeAtOnceBytes
                   ? 1
                   : qMax(1, timing::kQuietTicks - int(m_idleTicks)));
    if (m_deadline != 0)
        sooner(m_deadline > m_ticks ? int(m_deadline - m_ticks) : 1); // set from an int
    if (m_wakeTick > m_ticks)
        sooner(int(m_wakeTick - m_ticks)); // set from an int
    const bool connected = m_linkState == LinkState::Connected;
    // Inactive batch steps and polls with both readings off do nothing.
    if (isConnecting() || (connected && (m_batchRead.active || m_batchWrite.active)))
        sooner(timing::kPeriodTicks - int(m_periodTicks));
    if (connected && (m_periodic[0] || m_periodic[1]))
        sooner(timing::kSecondTicks - int(m_secondTicks));
    return due;
}

void Session::receive(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const FromOutside outside(*this);
    m_idleTicks = 0;
    m_rx.append(bytes);
    m_bytesIn += quint64(bytes.size());
    m_stats.bytesRead += quint64(bytes.size());
    if (m_intake == Intake::WhenComplete)
        takeCompleteReplies();
}

void Session::onReadyRead()
{
    receive(m_port.readAll());
}

void Session::takeReply()
{
    if (m_rx.isEmpty())
        return;
    if (m_intake == Intake::WhenComplete) {
        takeCompleteReplies();
        if (m_rx.isEmpty() || m_rxEnd == ReplyEnd::Incomplete)
            return;
    }
    if (m_rx.size() <= timing::kTakeAtOnceBytes && m_idleTicks++ < timing::kQuietTicks - 1)
        return;

    // Out of the buffer before it is handled: a modal box opened while
    // handling runs further ticks, which must not see this block again.
    QByteArray block;
    block.swap(m_rx);
    handleBlock(block);
}

void Session::takeCompleteReplies()
{
    for (;;) {
        const ReplyBoundary reply = replyBoundary(m_rx, awaitedFrame());
        m_rxEnd = reply.end;
        if (reply.end != ReplyEnd::Complete)
            return;
        const QByteArray block = m_rx.mid(reply.echo, reply.length - reply.echo);
        m_rx.remove(0, reply.length);
        m_idleTicks = 0;
        handleBlock(block);
    }
}

void Session::handleBlock(const QByteArray &block)
{
    const qint32 code = m_pending;
    if (code == ReqProbe || code == ReqTestProbe) {
        m_pending = 0;
        checkHandshake(block, code);
    } else if (handleReply(block)) {
        m_pending = 0;
        if (code != 0) {
            m_deadline = 0;
            m_stats.response.add(quint32(m_ticks - m_sentAtTick));
            emit replySettled(code);
        }
    }
}

// A script's request ends with its reply or here: a reply that settled
// nothing (a rejected handshake, a bad CRC, a refusal) leaves it to this.
void Session::checkDeadline()
{
    if (m_deadline == 0 || m_ticks < m_deadline)
        return;
    m_deadline = 0;
    if (m_pending == m_deadlineCode)
        m_pending = 0;
    if (m_intake == Intake::WhenComplete)
        m_rxEnd = replyBoundary(m_rx, awaitedFrame()).end;
    noteRequestGivenUp(m_deadlineCode);
}

void Session::noteRequestGivenUp(qint32 code)
{
    ++m_stats.timeouts;
    emit requestTimedOut(code);
}

void Session::request(qint32 code, qint32 value, int timeoutTicks)
{
    const FromOutside outside(*this);
    send(code, value);
    m_deadline = timeoutTicks > 0 ? m_ticks + quint64(timeoutTicks) : 0;
    m_deadlineCode = code;
}

void Session::send(qint32 code, qint32 value)
{
    if (m_pending != 0 && m_pending != code)
        ++m_stats.replaced;
    if (m_intake == Intake::WhenComplete && !m_rx.isEmpty()) {
        // Bytes from before this request cannot be its reply.
        m_rx.clear();
        ++m_stats.notRecognised[size_t(BlockCause::Unexpected)];
    }
    m_pending = code;
    m_pendingValue = value;
    m_deadline = 0;
    m_sentAtTick = m_ticks;
    writeRequestFrame(code, value);
}

void Session::writeRequestFrame(qint32 code, qint32 value)
{
    FrameArgs args;
    args.station = m_station;
    args.value = value;
    args.testMode = m_testMode;
    args.temperatureFirst = m_orderMode == qint32(OrderMode::TemperatureFirst);
    const QByteArray frame = requestFrame(code, args);
    if (frame.isEmpty())
        return;
    m_lastRequest = frame;
    ++m_stats.requests;
    ++m_stats.requestsByKind[size_t(requestKindIndex(code))];
    // A frame for a closed port is lost; its request ends by its time-out.
    if (m_port.isOpen()) {
        m_port.write(frame);
        m_stats.bytesWritten += quint64(frame.size());
    }
    emit frameSent(code, frame);
}

void Session::openPort(const QString &name, qint32 rate)
{
    const FromOutside outside(*this);
    emit linkStatus(m_linkState);
    m_port.setBaudRate(rate, QSerialPort::AllDirections);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setPortName(name);
    m_port.open(QIODevice::ReadWrite);
}

void Session::closePort()
{
    const FromOutside outside(*this);
    if (m_port.isOpen())
        m_port.close();
}

void Session::onPortError(QSerialPort::SerialPortError error)
{
    const FromOutside outside(*this);
    if (error != QSerialPort::NoError) {
        const bool wasConnected = m_linkState == LinkState::Connected;
        m_linkState = LinkState::Failed;
        const QString reason = m_port.errorString();
        // Closing first stops a vanished device's stream of read errors.
        closePort();
        if (wasConnected)
            emit disconnected(false, reason);
        emit portFailed(reason);
    } else if (!m_port.isOpen()) {
        m_connectCount = 0;
    }
    emit linkStatus(m_linkState);
    showControls(m_linkState);
}

void Session::showControls(LinkState state)
{
    // Away from a connection, periodic reading stops; what the operator
    // last chose stays with the owner.
    if (state != LinkState::Connected)
        m_periodic = {};
    emit controlsRefresh(state);
}

} // namespace movra
