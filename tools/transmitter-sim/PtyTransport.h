// A pseudo-terminal whose slave end stands in for the device's serial port.
#pragma once

#include "Transport.h"

class QSocketNotifier;

namespace movrasim {

class PtyTransport : public Transport
{
    Q_OBJECT
public:
    explicit PtyTransport(QObject *parent = nullptr);
    ~PtyTransport() override;

    // Where to put a symlink to the slave; empty for none.
    void setLinkPath(const QString &path) { m_linkPath = path; }
    QString linkPath() const { return m_linkPath; }
    // Speed the slave starts with, for peers that never set one.
    void setInitialBaudRate(qint32 rate) { m_initialRate = rate; }

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_master >= 0; }
    QString errorString() const override { return m_error; }
    void write(const QByteArray &bytes) override;
    qint32 peerBaudRate() const override;

    QString slavePath() const { return m_slavePath; }

private:
    void readMaster();
    void flushPending();

    int m_master = -1;
    int m_slave = -1; // kept open: holds the termios the peer sets, and no EIO while it is away
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QByteArray m_pending;
    QString m_slavePath;
    QString m_linkPath;
    bool m_linkMade = false;
    qint32 m_initialRate = 9600;
    QString m_error;
};

} // namespace movrasim
