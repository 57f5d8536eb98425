#include "PtyTransport.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace movrasim {

#ifdef Q_OS_UNIX

namespace {

struct SpeedEntry
{
    speed_t code;
    qint32 rate;
};

const SpeedEntry speeds[] = {
    {B1200, 1200},   {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},
    {B38400, 38400}, {B57600, 57600}, {B115200, 115200}, {B230400, 230400},
};

qint32 rateOf(speed_t code)
{
    for (const SpeedEntry &e : speeds) {
        if (e.code == code)
            return e.rate;
    }
    return -1; // a speed none of the device's rates can match
}

speed_t codeOf(qint32 rate)
{
    for (const SpeedEntry &e : speeds) {
        if (e.rate == rate)
            return e.code;
    }
    return B9600;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

} // namespace

PtyTransport::PtyTransport(QObject *parent) : Transport(parent) {}

PtyTransport::~PtyTransport()
{
    close();
}

bool PtyTransport::open()
{
    close();
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        m_error = systemError("posix_openpt");
        return false;
    }
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        m_error = systemError("grantpt/unlockpt");
        close();
        return false;
    }
    const char *name = ptsname(m_master);
    if (!name) {
        m_error = systemError("ptsname");
        close();
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);

    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slave < 0) {
        m_error = systemError("open slave");
        close();
        return false;
    }
    // Raw both ways: no echo, no line editing, no CR/LF translation.
    termios tio;
    if (tcgetattr(m_slave, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&tio, codeOf(m_initialRate));
        cfsetospeed(&tio, codeOf(m_initialRate));
        tcsetattr(m_slave, TCSANOW, &tio);
    }
    if (tcgetattr(m_master, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(m_master, TCSANOW, &tio);
    }

    if (!m_linkPath.isEmpty()) {
        const QFileInfo info(m_linkPath);
        // A link left behind by an earlier run is replaced; anything else is not ours.
        if (info.isSymLink())
            QFile::remove(m_linkPath);
        else if (info.exists()) {
            m_error = QStringLiteral("%1 exists and is no symlink").arg(m_linkPath);
            close();
            return false;
        }
        if (symlink(name, QFile::encodeName(m_linkPath).constData()) != 0) {
            m_error = systemError("symlink");
            close();
            return false;
        }
        m_linkMade = true;
    }

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, [this] { readMaster(); });
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, [this] { flushPending(); });
    m_error.clear();
    return true;
}

void PtyTransport::close()
{
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    if (m_linkMade) {
        const QFileInfo info(m_linkPath);
        if (info.isSymLink() && info.symLinkTarget() == m_slavePath)
            QFile::remove(m_linkPath);
        m_linkMade = false;
    }
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
    m_pending.clear();
}

void PtyTransport::readMaster()
{
    QByteArray bytes;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN: drained
    }
    if (!bytes.isEmpty())
        emit received(bytes);
}

void PtyTransport::write(const QByteArray &bytes)
{
    if (m_master < 0)
        return;
    m_pending.append(bytes);
    flushPending();
}

void PtyTransport::flushPending()
{
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, int(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break; // the peer is not reading; wait until there is room
        }
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_pending.isEmpty());
}

qint32 PtyTransport::peerBaudRate() const
{
    termios tio;
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0)
        return 0;
    const speed_t in = cfgetispeed(&tio);
    // Input speed 0 means "same as output" to tcsetattr.
    return rateOf(in != B0 ? in : cfgetospeed(&tio));
}

#else // no pseudo-terminals

PtyTransport::PtyTransport(QObject *parent) : Transport(parent) {}
PtyTransport::~PtyTransport() = default;

bool PtyTransport::open()
{
    m_error = QStringLiteral("pseudo-terminals need a POSIX system; use --port");
    return false;
}

void PtyTransport::close() {}
void PtyTransport::write(const QByteArray &) {}
qint32 PtyTransport::peerBaudRate() const
{
    return 0;
}
void PtyTransport::readMaster() {}
void PtyTransport::flushPending() {}

#endif

} // namespace movrasim
