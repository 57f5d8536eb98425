// The window on a real QSerialPort on a pseudo-terminal, the far end being
// the simulated transmitter or a raw peer the test answers itself.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "Dialogs.h"
#include "Pty.h"
#include "SerialWait.h"
#include "SimulatorHost.h"
#include "TestSupport.h"

namespace movratest {

// Ticks come from the test only; after each one the rig waits until the
// request has crossed the line and every byte the far end sent back has
// reached the window's receive buffer, so the tick count, not the machine's
// speed, decides what the tool sees.
class Rig
{
public:
    // Boxes are closed after closeBoxesAfterMs with boxResult.
    explicit Rig(int closeBoxesAfterMs = 2000, QDialog::DialogCode boxResult = QDialog::Rejected)
        : dialogs(closeBoxesAfterMs, boxResult)
    {
    }
    Rig(const Rig &) = delete;
    Rig &operator=(const Rig &) = delete;

    // Every box the window shows, expected or not.
    DialogLog dialogs;
    movrasim::SimulatorHost host;
    std::unique_ptr<PtyPair> peer;
    std::unique_ptr<MovraTestTool> w;
    QString path;

    // Simulator side.
    QByteArray hostIn;
    qint64 hostOut = 0;
    // Raw peer side: what it has read, what it wrote, and how it answers.
    QByteArray peerIn;
    qint64 peerOut = 0;
    std::function<QByteArray(const QByteArray &)> answer;
    // Window side.
    qint64 windowOut = 0;
    qint64 earlierWindows = 0;
    int ticked = 0;
    // Errors the window's port reported.
    int portErrors = 0;

    movrasim::DeviceModel &model() { return host.model(); }
    Ui::MovraTestToolClass &ui() { return form(*w); }
    movra::Session &session() { return w->session(); }

    bool startHost(qint32 deviceRate = 9600);
    // The simulator under a fixed name, as a USB adapter that is plugged in
    // again gets its old name back.
    bool startHostAt(const QString &link);
    bool startPeer();
    void openWindow(const QString &extraPorts);
    void openWindow() { openWindow(path); }
    // The simulator, and the window on its port.
    bool start(qint32 deviceRate = 9600);

    bool selectPort(const QString &name);
    bool selectRate(qint32 rate);

    // Bytes the tool has received, over every window the rig opened: a
    // window that was closed had received all the far end sent until then.
    qint64 received() const { return earlierWindows + qint64(w->session().bytesReceived()); }
    // Of those, the bytes taken out of the receive buffer as blocks.
    qint64 taken() const { return received() - w->session().bufferedBytes(); }
    qint64 farEndSent() const { return peer ? peerOut : hostOut; }

    // Counts are compared from here on, so a line that went away with
    // bytes in flight does not upset the next one.
    void mark();
    // Waits until the line is quiet as far as the tool can tell.
    bool settle();
    // With io false no event is processed between the ticks, so nothing
    // can arrive while they run.
    bool tick(int n = 1, bool io = true);
    // Ticks until pred holds; the number of ticks it took, -1 if it never did.
    int ticksUntil(const std::function<bool()> &pred, int max);

    bool connected() const { return w->session().linkState() == movra::LinkState::Connected; }
    bool connectAt(qint32 rate);
    // Request, reply, and the three quiet ticks that hand it over.
    bool manualRead();
    // 8-byte frames the simulator heard after `from`, as hex.
    QStringList framesHeard(int from) const;

private:
    qint64 windowMark = 0;
    qint64 farInMark = 0;
    qint64 farOutMark = 0;
    qint64 receivedMark = 0;
};

} // namespace movratest
