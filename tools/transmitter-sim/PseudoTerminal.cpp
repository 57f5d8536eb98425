#include "PseudoTerminal.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace movrasim::pty {

#ifdef Q_OS_UNIX

namespace {

struct Speed
{
    speed_t code;
    qint32 rate;
};

// The device's seven rates and the neighbours a peer may set instead.
const Speed kSpeeds[] = {
    {B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
    {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
};

speed_t codeOf(qint32 rate)
{
    for (const Speed &s : kSpeeds) {
        if (s.rate == rate)
            return s.code;
    }
    return B9600;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

bool fail(const char *what, Ends *ends, QString *error)
{
    if (error)
        *error = systemError(what);
    closeEnd(&ends->slave);
    closeEnd(&ends->master);
    ends->slavePath.clear();
    return false;
}

} // namespace

bool isSupported()
{
    return true;
}

bool open(qint32 rate, Ends *ends, QString *error)
{
    ends->master = posix_openpt(O_RDWR | O_NOCTTY);
    if (ends->master < 0)
        return fail("posix_openpt", ends, error);
    if (grantpt(ends->master) != 0 || unlockpt(ends->master) != 0)
        return fail("grantpt/unlockpt", ends, error);
    const char *name = ptsname(ends->master);
    if (!name)
        return fail("ptsname", ends, error);
    ends->slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (ends->slave < 0)
        return fail("open slave", ends, error);
    ends->slavePath = QString::fromLocal8Bit(name);
    fcntl(ends->master, F_SETFL, fcntl(ends->master, F_GETFL) | O_NONBLOCK);
    // A program the tests start must not hold the line open after the
    // simulator let go of it.
    fcntl(ends->master, F_SETFD, fcntl(ends->master, F_GETFD) | FD_CLOEXEC);

    termios tio;
    if (tcgetattr(ends->slave, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&tio, codeOf(rate));
        cfsetospeed(&tio, codeOf(rate));
        tcsetattr(ends->slave, TCSANOW, &tio);
    }
    if (tcgetattr(ends->master, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(ends->master, TCSANOW, &tio);
    }
    return true;
}

void closeEnd(int *fd)
{
    if (*fd >= 0)
        ::close(*fd);
    *fd = -1;
}

qint32 speedOf(int fd)
{
    termios tio;
    if (fd < 0 || tcgetattr(fd, &tio) != 0)
        return 0;
    const speed_t in = cfgetispeed(&tio);
    // Input speed 0 means "same as output" to tcsetattr.
    const speed_t code = in != B0 ? in : cfgetospeed(&tio);
    for (const Speed &s : kSpeeds) {
        if (s.code == code)
            return s.rate;
    }
    return -1;
}

QByteArray readAvailable(int fd)
{
    QByteArray bytes;
    char buffer[512];
    while (fd >= 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, int(n));
        else if (!(n < 0 && errno == EINTR))
            break; // EAGAIN: drained; 0 or another error: nothing more to read
    }
    return bytes;
}

#else // no pseudo-terminals

bool isSupported()
{
    return false;
}

bool open(qint32, Ends *, QString *error)
{
    if (error)
        *error = QStringLiteral("pseudo-terminals need a POSIX system");
    return false;
}

void closeEnd(int *fd)
{
    *fd = -1;
}

qint32 speedOf(int)
{
    return 0;
}

QByteArray readAvailable(int)
{
    return {};
}

#endif

} // namespace movrasim::pty
