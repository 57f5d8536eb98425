#include "SimulatorHost.h"

#include "SerialPortTransport.h"
#ifdef Q_OS_UNIX
#include "PtyTransport.h"
#endif
#include "WireLog.h"

namespace movrasim {

SimulatorHost::SimulatorHost(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_sendTimer.setSingleShot(true);
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sendTimer, &QTimer::timeout, this, &SimulatorHost::sendDue);
    m_model.setNoteSink([this](const QString &text) {
        if (m_verbose)
            writeWireLog(wireLogLine(WireDirection::Note, {}, text));
    });
}

SimulatorHost::~SimulatorHost()
{
    stop();
}

QString SimulatorHost::start()
{
#ifndef Q_OS_UNIX
    return {}; // pseudo-terminals are POSIX; elsewhere the simulator serves a port
#else
    auto *pty = new PtyTransport;
    pty->setLinkPath(m_linkPath);
    pty->setInitialBaudRate(m_model.baudRate());
    if (!startOn(pty))
        return {};
    m_slavePath = pty->slavePath();
    return m_slavePath;
#endif
}

bool SimulatorHost::startOnPort(const QString &portName)
{
    return startOn(new SerialPortTransport(portName, m_model.baudRate()));
}

bool SimulatorHost::startOn(Transport *transport)
{
    stop();
    m_transport.reset(transport);
    connect(transport, &Transport::received, this, &SimulatorHost::onReceived);
    connect(transport, &Transport::failed, this, [this](const QString &reason) {
        m_error = reason;
        emit transportFailed(reason);
    });
    if (!transport->open()) {
        m_error = transport->errorString();
        m_transport.reset();
        return false;
    }
    m_transportRate = m_model.baudRate();
    m_error.clear();
    return true;
}

void SimulatorHost::stop()
{
    m_sendTimer.stop();
    m_queue.clear();
    if (m_transport) {
        m_transport->close();
        m_transport.reset();
    }
    m_slavePath.clear();
}

void SimulatorHost::onReceived(const QByteArray &bytes)
{
    if (m_verbose) {
        const qint32 line = m_transport->peerBaudRate();
        writeWireLog(wireLogLine(WireDirection::In, bytes,
                                 line > 0 ? QStringLiteral("(%1 Bd)").arg(line) : QString()));
    }
    schedule(m_model.receive(bytes, m_transport->peerBaudRate()));
    followBaudRate();
    // Emitted last, so a listener sees the bytes already dealt with.
    emit bytesReceived(bytes);
}

void SimulatorHost::schedule(const QVector<Emission> &emissions)
{
    qint64 due = m_clock.elapsed();
    for (int i = 0; i < emissions.size(); ++i) {
        due += emissions.at(i).delayMs;
        // Output never overtakes what an earlier request still has queued.
        if (i == 0 && !m_queue.isEmpty())
            due = qMax(due, m_queue.last().due);
        m_queue.enqueue({due, emissions.at(i).bytes});
    }
    sendDue();
}

void SimulatorHost::sendDue()
{
    const qint64 now = m_clock.elapsed();
    while (!m_queue.isEmpty() && m_queue.head().due <= now) {
        const QByteArray bytes = m_queue.dequeue().bytes;
        if (!m_transport)
            continue;
        m_transport->write(bytes);
        if (m_verbose)
            writeWireLog(wireLogLine(WireDirection::Out, bytes));
        emit bytesSent(bytes);
    }
    if (!m_queue.isEmpty())
        m_sendTimer.start(int(m_queue.head().due - now));
    followBaudRate();
}

void SimulatorHost::followBaudRate()
{
    // The restart's echo still goes out at the old rate.
    if (!m_transport || !m_queue.isEmpty() || m_model.baudRate() == m_transportRate)
        return;
    m_transportRate = m_model.baudRate();
    m_transport->setDeviceBaudRate(m_transportRate);
}

} // namespace movrasim
