// A pseudo-terminal pair for tests that need a raw peer on a serial line:
// the code under test opens slavePath() as its port, the test plays the far
// end through the master. POSIX only; isSupported() is false elsewhere.
#pragma once

#include <QByteArray>
#include <QString>

namespace movratest {

class PtyPair
{
public:
    PtyPair() = default;
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    static bool isSupported();

    // Opens a raw pair; the slave starts at baudRate.
    bool open(qint32 baudRate = 9600);
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }
    bool isOpen() const { return m_master >= 0; }

    bool writeMaster(const QByteArray &bytes);
    // Collects what the peer wrote until at least minBytes have come or
    // timeoutMs have passed, processing Qt events while waiting.
    QByteArray readMaster(int minBytes, int timeoutMs = 2000);
    // Whatever has arrived, without waiting.
    QByteArray readAvailable();

    // Speed the slave's termios is set to, 0 when unknown.
    qint32 slaveBaudRate() const;

    // The device vanishes: the peer sees a hang-up on its next access.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1; // keeps the slave's settings while the peer closes and reopens
    QString m_slavePath;
    QString m_error;
};

} // namespace movratest
