#include "Pty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "PseudoTerminal.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#include <unistd.h>
#endif

namespace movratest {

namespace pty = movrasim::pty;

bool PtyPair::isSupported()
{
    return pty::isSupported();
}

PtyPair::~PtyPair()
{
    closeMaster();
    pty::closeEnd(&m_slave);
}

bool PtyPair::open(qint32 baudRate)
{
    pty::Ends ends;
    if (!pty::open(baudRate, &ends, &m_error))
        return false;
    m_master = ends.master;
    m_slave = ends.slave;
    m_slavePath = ends.slavePath;
    return true;
}

QByteArray PtyPair::readAvailable()
{
    return pty::readAvailable(m_master);
}

qint32 PtyPair::slaveBaudRate() const
{
    return qMax(0, pty::speedOf(m_slave));
}

void PtyPair::closeMaster()
{
    pty::closeEnd(&m_master);
}

#ifdef Q_OS_UNIX

bool PtyPair::writeMaster(const QByteArray &bytes)
{
    if (m_master < 0)
        return false;
    int done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += int(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{m_master, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return false; // the peer stopped reading
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

QByteArray PtyPair::readMaster(int minBytes, int timeoutMs)
{
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    while (m_master >= 0) {
        // The peer may live in this thread, so its queued writes need events.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        out += readAvailable();
        if (out.size() >= minBytes || deadline.hasExpired())
            break;
        pollfd p{m_master, POLLIN, 0};
        ::poll(&p, 1, int(qMin<qint64>(5, deadline.remainingTime())));
    }
    return out;
}

#else

bool PtyPair::writeMaster(const QByteArray &)
{
    return false;
}

QByteArray PtyPair::readMaster(int, int)
{
    return {};
}

#endif

} // namespace movratest
