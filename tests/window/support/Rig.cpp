#include "Rig.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <QtTest>

#include "engine/PortList.h"

namespace movratest {

bool Rig::startHost(qint32 deviceRate)
{
    host.model().setBaudRate(deviceRate);
    QObject::connect(&host, &movrasim::SimulatorHost::bytesReceived,
                     [this](const QByteArray &b) { hostIn += b; });
    QObject::connect(&host, &movrasim::SimulatorHost::bytesSent,
                     [this](const QByteArray &b) { hostOut += b.size(); });
    path = host.start();
    return !path.isEmpty();
}

bool Rig::startHostAt(const QString &link)
{
    host.setLinkPath(link);
    if (!startHost())
        return false;
    // The window is to find it under that name.
    path = link;
    return true;
}

bool Rig::startPeer()
{
    peer = std::make_unique<PtyPair>();
    if (!peer->open(9600))
        return false;
    path = peer->slavePath();
    return true;
}

void Rig::openWindow(const QString &extraPorts)
{
    earlierWindows = farEndSent();
    WindowOptions options;
    options.extraPorts = movra::splitPortList(extraPorts);
    w = std::make_unique<MovraTestTool>(options);
    w->ticker().stop();
    QObject::connect(&w->session().port(), &QIODevice::bytesWritten,
                     [this](qint64 n) { windowOut += n; });
    QObject::connect(&w->session().port(), &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError e) {
                         if (e != QSerialPort::NoError)
                             ++portErrors;
                     });
    ui().textEdit->clear();
}

bool Rig::start(qint32 deviceRate)
{
    if (!startHost(deviceRate))
        return false;
    openWindow();
    return selectPort(path);
}

bool Rig::selectPort(const QString &name)
{
    const int index = ui().SerialComNum->findText(name);
    if (index < 0)
        return false;
    ui().SerialComNum->setCurrentIndex(index);
    return ui().SerialComNum->currentText() == name;
}

bool Rig::selectRate(qint32 rate)
{
    const int index = ui().BraudRate_1->findText(QString::number(rate));
    if (index < 0)
        return false;
    ui().BraudRate_1->setCurrentIndex(index);
    return w->session().baudRate() == rate;
}

void Rig::mark()
{
    windowMark = windowOut;
    farInMark = peer ? peerIn.size() : hostIn.size();
    farOutMark = farEndSent();
    receivedMark = received();
}

bool Rig::settle()
{
    QCoreApplication::processEvents();
    QSerialPort &port = w->session().port();
    if (!QTest::qWaitFor([&] { return writesDone(port); }, 3000))
        return false;
    // What the window wrote that the far end has not read yet.
    const auto unheard = [&] {
        return windowOut - windowMark - ((peer ? peerIn.size() : hostIn.size()) - farInMark);
    };
    if (peer) {
        while (unheard() > 0) {
            const QByteArray got = peer->readMaster(int(unheard()), 3000);
            if (got.isEmpty())
                return false;
            peerIn += got;
            const QByteArray reply = answer ? answer(got) : QByteArray();
            if (!reply.isEmpty() && peer->writeMaster(reply))
                peerOut += reply.size();
        }
    } else if (!QTest::qWaitFor([&] { return unheard() <= 0; }, 3000)) {
        return false;
    }
    return QTest::qWaitFor([&] { return received() - receivedMark >= farEndSent() - farOutMark; },
                           3000);
}

bool Rig::tick(int n, bool io)
{
    for (int i = 0; i < n; ++i) {
        movratest::tick(*w);
        ++ticked;
        if (io && !settle())
            return false;
    }
    return true;
}

int Rig::ticksUntil(const std::function<bool()> &pred, int max)
{
    return movratest::ticksUntil([this] { return tick(); }, pred, max);
}

bool Rig::connectAt(qint32 rate)
{
    if (!selectRate(rate))
        return false;
    ui().connectButton->click();
    return settle() && ticksUntil([this] { return connected(); }, 100) > 0;
}

bool Rig::manualRead()
{
    ui().manualReadButton->click();
    return settle() && tick(3);
}

QStringList Rig::framesHeard(int from) const
{
    QStringList frames;
    for (int i = from; i + 8 <= hostIn.size(); i += 8)
        frames << QString::fromLatin1(hostIn.mid(i, 8).toHex().toUpper());
    return frames;
}

} // namespace movratest
