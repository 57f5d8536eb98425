// Serves an existing serial port, e.g. a USB adapter wired to the tool's.
#pragma once

#include "Transport.h"

#include <QSerialPort>

namespace movrasim {

class SerialPortTransport : public Transport
{
    Q_OBJECT
public:
    SerialPortTransport(const QString &portName, qint32 baudRate, QObject *parent = nullptr);

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    QString errorString() const override { return m_error; }
    void write(const QByteArray &bytes) override;
    void setDeviceBaudRate(qint32 rate) override;

    static constexpr int RestartMs = 100;

private:
    QSerialPort m_port;
    QString m_name;
    qint32 m_baudRate;
    QString m_error;
};

} // namespace movrasim
