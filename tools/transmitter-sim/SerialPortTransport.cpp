#include "SerialPortTransport.h"

#include <QTimer>

namespace movrasim {

SerialPortTransport::SerialPortTransport(const QString &portName, qint32 baudRate, QObject *parent)
    : Transport(parent), m_name(portName), m_baudRate(baudRate)
{
    m_port.setPortName(portName);
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        const QByteArray bytes = m_port.readAll();
        if (!bytes.isEmpty())
            emit received(bytes);
    });
    connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::NoError)
            return;
        m_error = m_port.errorString();
        // A vanished port (unplugged adapter, hung-up pty) reports read or
        // resource errors on every event loop pass; stop listening to it.
        if ((e == QSerialPort::ResourceError || e == QSerialPort::ReadError) && m_port.isOpen()) {
            m_port.close();
            emit failed(QStringLiteral("lost %1 (%2)").arg(m_name, m_error));
        }
    });
}

bool SerialPortTransport::open()
{
    m_port.setBaudRate(m_baudRate);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_error = QStringLiteral("cannot open %1: %2").arg(m_name, m_port.errorString());
        return false;
    }
    m_error.clear();
    return true;
}

void SerialPortTransport::close()
{
    if (m_port.isOpen())
        m_port.close();
}

void SerialPortTransport::write(const QByteArray &bytes)
{
    if (m_port.isOpen())
        m_port.write(bytes);
}

void SerialPortTransport::setDeviceBaudRate(qint32 rate)
{
    m_baudRate = rate;
    // Bytes still in the adapter leave at the old rate; a real device is
    // busy restarting for about this long anyway.
    QTimer::singleShot(RestartMs, this, [this] {
        if (m_port.isOpen())
            m_port.setBaudRate(m_baudRate);
    });
}

} // namespace movrasim
