// The simulated transmitter on a line: model, transport and reply timing.
// Runs on the event loop of the thread that owns it, so tests can keep the
// device in their own process.
#pragma once

#include "DeviceModel.h"
#include "Transport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QQueue>
#include <QTimer>
#include <memory>

namespace movrasim {

class SimulatorHost : public QObject
{
    Q_OBJECT
public:
    explicit SimulatorHost(QObject *parent = nullptr);
    ~SimulatorHost() override;

    DeviceModel &model() { return m_model; }
    void setVerbose(bool on) { m_verbose = on; }
    // Pseudo-terminal only: symlink to the slave, removed again by stop().
    void setLinkPath(const QString &path) { m_linkPath = path; }

    // Serves a new pseudo-terminal; returns its slave path, empty on failure.
    QString start();
    // Serves an existing serial port at the model's baud rate.
    bool startOnPort(const QString &portName);
    // Serves any transport; the host takes ownership.
    bool startOn(Transport *transport);
    void stop();

    bool isRunning() const { return m_transport && m_transport->isOpen(); }
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

signals:
    void bytesReceived(const QByteArray &bytes);
    void bytesSent(const QByteArray &bytes);
    void transportFailed(const QString &reason);

private:
    struct Timed
    {
        qint64 due;
        QByteArray bytes;
    };
    void onReceived(const QByteArray &bytes);
    void schedule(const QVector<Emission> &emissions);
    void sendDue();
    void followBaudRate();

    DeviceModel m_model;
    std::unique_ptr<Transport> m_transport;
    QQueue<Timed> m_queue;
    QTimer m_sendTimer;
    QElapsedTimer m_clock;
    qint32 m_transportRate = 0;
    bool m_verbose = false;
    QString m_linkPath;
    QString m_slavePath;
    QString m_error;
};

} // namespace movrasim
