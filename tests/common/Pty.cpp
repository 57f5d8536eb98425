#include "Pty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace movratest {

#ifdef Q_OS_UNIX

namespace {

struct Speed
{
    speed_t code;
    qint32 rate;
};
const Speed speeds[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
                        {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};

} // namespace

bool PtyPair::isSupported()
{
    return true;
}

PtyPair::~PtyPair()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool PtyPair::open(qint32 baudRate)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    const char *name = m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0
                           ? ptsname(m_master)
                           : nullptr;
    if (name)
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slave < 0) {
        m_error = QString::fromLocal8Bit(strerror(errno));
        closeMaster();
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    termios tio;
    tcgetattr(m_slave, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    for (const Speed &s : speeds) {
        if (s.rate == baudRate) {
            cfsetispeed(&tio, s.code);
            cfsetospeed(&tio, s.code);
        }
    }
    tcsetattr(m_slave, TCSANOW, &tio);
    return true;
}

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

QByteArray PtyPair::readAvailable()
{
    QByteArray out;
    char buffer[512];
    while (m_master >= 0) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0)
            out.append(buffer, int(n));
        else if (!(n < 0 && errno == EINTR))
            break;
    }
    return out;
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

qint32 PtyPair::slaveBaudRate() const
{
    termios tio;
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0)
        return 0;
    const speed_t in = cfgetispeed(&tio);
    for (const Speed &s : speeds) {
        if (s.code == in)
            return s.rate;
    }
    return 0;
}

void PtyPair::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

#else

bool PtyPair::isSupported()
{
    return false;
}
PtyPair::~PtyPair() = default;
bool PtyPair::open(qint32)
{
    m_error = QStringLiteral("no pseudo-terminals on this system");
    return false;
}
bool PtyPair::writeMaster(const QByteArray &)
{
    return false;
}
QByteArray PtyPair::readAvailable()
{
    return {};
}
QByteArray PtyPair::readMaster(int, int)
{
    return {};
}
qint32 PtyPair::slaveBaudRate() const
{
    return 0;
}
void PtyPair::closeMaster() {}

#endif

} // namespace movratest
