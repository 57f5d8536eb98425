#include "PtyTransport.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

#include "PseudoTerminal.h"

namespace movrasim {

#ifdef Q_OS_UNIX

PtyTransport::PtyTransport(QObject *parent) : Transport(parent) {}

PtyTransport::~PtyTransport()
{
    close();
}

bool PtyTransport::open()
{
    close();
    pty::Ends ends;
    if (!pty::open(m_initialRate, &ends, &m_error))
        return false;
    m_master = ends.master;
    m_slave = ends.slave;
    m_slavePath = ends.slavePath;

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
        QFile slave(m_slavePath);
        if (!slave.link(m_linkPath)) {
            m_error = QStringLiteral("symlink: %1").arg(slave.errorString());
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
    pty::closeEnd(&m_slave);
    pty::closeEnd(&m_master);
    m_pending.clear();
}

void PtyTransport::readMaster()
{
    const QByteArray bytes = pty::readAvailable(m_master);
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
    return pty::speedOf(m_slave);
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
