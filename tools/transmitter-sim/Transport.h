// The line the simulated device listens on.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace movrasim {

class Transport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString errorString() const = 0;
    virtual void write(const QByteArray &bytes) = 0;
    // Speed the peer's end of the line is set to right now; 0 when the
    // transport cannot tell (a real cable just garbles mismatched bytes).
    virtual qint32 peerBaudRate() const { return 0; }
    // The device switched its UART after a restart.
    virtual void setDeviceBaudRate(qint32 rate) { Q_UNUSED(rate) }

signals:
    void received(const QByteArray &bytes);
    // The line went away (adapter unplugged, peer hung up for good).
    void failed(const QString &reason);
};

} // namespace movrasim
