// What the operator and the device see does not depend on how the ticks
// are driven. One scripted session (connect, a manual read, periodic
// reading for 20 s with replies split, delayed and preceded by garbage, a
// batch read, a batch write with replies dropped, disconnect) runs twice
// against the simulated transmitter on a pseudo-terminal, on a virtual
// clock: once with a tick every 10 ms, as the plain timer gives them, and
// once with the window's scheduler waking only when a tick is due. The logs
// must match line by line and the frames byte for byte, on the same ticks.

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSerialPort>
#include <QSpinBox>
#include <QStatusBar>
#include <QtTest>
#include <functional>

#include "DeviceModel.h"
#include "Pty.h"
#include "SerialWait.h"
#include "TestSupport.h"
#include "VirtualClock.h"

using movratest::form;
using movratest::kMs;
using movratest::kNever;
using movratest::kTick;
using movratest::waitUntil;
using Mode = movra::TickScheduler::Mode;

namespace {

// The window on a pseudo-terminal, the transmitter's model at the far end,
// and everything on one virtual clock: the device hears each frame on the
// tick it went out and its answer arrives when due; the operator acts at
// the moments the script gives.
class Run : public movratest::VirtualClock
{
public:
    explicit Run(bool scheduled) : scheduled(scheduled) {}

    bool start()
    {
        if (!peer.open(9600))
            return false;
        w = movratest::makeWindow({peer.slavePath()});
        movra::Session &s = w->session();
        device.setClock([&s] { return qint64(s.ticks()) * movra::timing::kTickMs; });
        QObject::connect(&s.port(), &QIODevice::bytesWritten, &s,
                         [this](qint64 n) { m_written += n; });
        QObject::connect(&s, &movra::Session::frameSent, &s,
                         [this, &s](qint32 code, const QByteArray &frame) {
                             frames << QStringLiteral("%1 %2 %3")
                                           .arg(s.ticks())
                                           .arg(code)
                                           .arg(QString::fromLatin1(frame.toHex()));
                         });
        QObject::connect(ui().statusBar, &QStatusBar::messageChanged, &s,
                         [this, &s](const QString &text) {
                             if (!text.isEmpty())
                                 statuses << QStringLiteral("%1 %2").arg(s.ticks()).arg(text);
                         });
        if (scheduled) {
            movra::TickScheduler &t = w->ticker();
            t.setClock([this] { return now; });
            t.setMode(Mode::WhenDue);
            t.start();
        }
        return true;
    }

    void at(double ms, std::function<void()> action)
    {
        VirtualClock::at(qint64(ms * 1e6), std::move(action));
    }

    Ui::MovraTestToolClass &ui() { return form(*w); }
    void setChecked(QCheckBox *box, bool on)
    {
        if (box->isChecked() != on)
            box->click();
    }
    void setFaults(const movrasim::Faults &f) { device.setFaults(f); }

    const bool scheduled;
    int wakes = 0;
    movratest::PtyPair peer;
    movrasim::DeviceModel device;
    // Every box shown, closed at once.
    movratest::DialogLog dialogs{0};
    std::unique_ptr<MovraTestTool> w;
    QStringList frames;
    QStringList statuses;

private:
    qint64 nextTick() const override
    {
        if (scheduled)
            return w->ticker().wakeAt() >= 0 ? w->ticker().wakeAt() : kNever;
        return qint64(w->session().ticks() + 1) * kTick;
    }

    bool runTick() override
    {
        ++wakes;
        if (scheduled)
            w->ticker().wake();
        else
            movratest::tick(*w);
        return true;
    }

    void rested() override
    {
        if (scheduled)
            w->ticker().wake();
    }

    // What the window wrote has reached the device, which answers on the
    // virtual clock from the tick it heard it on.
    bool afterStep() override
    {
        QSerialPort &port = w->session().port();
        if (!waitUntil([&] { return movratest::writesDone(port); }))
            return false;
        while (m_heard < m_written) {
            const QByteArray got = peer.readMaster(int(m_written - m_heard), 3000);
            if (got.isEmpty())
                return false;
            m_heard += got.size();
            answer(qint64(w->session().ticks()) * kTick, device.receive(got, peer.slaveBaudRate()));
        }
        return true;
    }

    bool deliver(const QByteArray &bytes) override
    {
        // A closed port hears nothing.
        if (!w->session().port().isOpen())
            return true;
        const quint64 expected = w->session().bytesReceived() + quint64(bytes.size());
        return peer.writeMaster(bytes) &&
               waitUntil([&] { return w->session().bytesReceived() >= expected; });
    }

    qint64 m_written = 0;
    qint64 m_heard = 0;
};

void script(Run &r)
{
    auto &ui = r.ui();
    r.at(123.4, [&] {
        ui.SerialComNum->setCurrentIndex(ui.SerialComNum->findText(r.peer.slavePath()));
        ui.BraudRate_1->setCurrentIndex(ui.BraudRate_1->findText(QStringLiteral("9600")));
        ui.connectButton->click();
    });
    r.at(1507.3, [&] { ui.manualReadButton->click(); });
    r.at(2203.9, [&] {
        ui.readTempInterval->setValue(1);
        ui.readHumiInterval->setValue(1);
        ui.checkBox_5->click();
        ui.checkBox_6->click();
    });
    // Manual reads in the middle of the periodic ones.
    for (double at : {5003.7, 11011.2, 17025.5, 19996.1})
        r.at(at, [&] { ui.manualReadButton->click(); });
    movrasim::Faults split, delayed, garbage, dropping;
    split.splitGapMs = 20;
    delayed.delayMs = 15;
    garbage.garbageGapMs = 35;
    garbage.seed = 7;
    dropping.dropPercent = 50;
    dropping.seed = 3;
    r.at(6000.2, [&r, split] { r.setFaults(split); });
    r.at(9000.7, [&r, delayed] { r.setFaults(delayed); });
    r.at(12000.1, [&r, garbage] { r.setFaults(garbage); });
    r.at(15000.9, [&r] { r.setFaults({}); });
    r.at(22503.1, [&] { ui.readButton->click(); });
    r.at(25000.4, [&] {
        r.setChecked(ui.checkBox, false);
        r.setChecked(ui.checkBox_2, false);
        r.setChecked(ui.checkBox_3, true);
        r.setChecked(ui.checkBox_4, true);
        r.setChecked(ui.checkBox_7, true);
        ui.TempOffset_2->setValue(12);
        ui.HumiOffset_2->setValue(-7);
        ui.BraudRate_4->setCurrentIndex(1);
    });
    r.at(25500.6, [&r, dropping] { r.setFaults(dropping); });
    r.at(26000.5, [&] { ui.writeButton->click(); });
    r.at(33000.2, [&] {
        r.setFaults({});
        ui.manualReadButton->click();
    });
    r.at(34000.8, [&] { ui.disConnectButton->click(); });
}

// What one run showed and sent.
struct Seen
{
    QStringList log, frames, statuses, boxes;
    quint64 ticks = 0, lost = 0;
    int wakes = 0;
};

bool runScript(bool scheduled, Seen *seen)
{
    Run r(scheduled);
    if (!r.start()) {
        qWarning("%s", qPrintable(r.peer.errorString()));
        return false;
    }
    script(r);
    if (!r.runTo(35000 * kMs))
        return false;
    seen->log = movratest::logLinesOf(*r.w);
    seen->frames = r.frames;
    seen->statuses = r.statuses;
    seen->boxes = r.dialogs.titles;
    seen->ticks = r.w->session().ticks();
    seen->lost = r.w->ticker().ticksLost();
    seen->wakes = r.wakes;
    return true;
}

// Where two line lists part, or an empty string.
QString firstDifference(const QStringList &a, const QStringList &b)
{
    for (int i = 0; i < qMax(a.size(), b.size()); ++i) {
        if (a.value(i) != b.value(i))
            return QStringLiteral("line %1:\n  every tick: %2\n  when due:   %3")
                .arg(i)
                .arg(a.value(i, QStringLiteral("<none>")), b.value(i, QStringLiteral("<none>")));
    }
    return QString();
}

} // namespace

class TestScheduling : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameSessionBothWays();
};

void TestScheduling::initTestCase()
{
    movratest::useOwnSettingsFolder();
    if (!movratest::PtyPair::isSupported())
        QSKIP("no pseudo-terminals here");
}

void TestScheduling::sameSessionBothWays()
{
    Seen every, due;
    QVERIFY(runScript(false, &every));
    QVERIFY(runScript(true, &due));

    QCOMPARE(due.ticks, every.ticks);
    QCOMPARE(due.lost, quint64(0));
    QString diff = firstDifference(every.log, due.log);
    QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("log, ") + diff));
    diff = firstDifference(every.frames, due.frames);
    QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("frames, ") + diff));
    diff = firstDifference(every.statuses, due.statuses);
    QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("status, ") + diff));
    QCOMPARE(due.boxes, every.boxes);

    // The script did what it says, in far fewer wake-ups.
    const QString log = every.log.join(QLatin1Char('\n'));
    for (const char *expected : {"设备连接成功", "正在手动读取温湿度值", "已发完批量读取命令",
                                 "批量参数写入失败数量为", "写入成功", "设备已经断开"})
        QVERIFY2(log.contains(QString::fromUtf8(expected)), expected);
    QVERIFY(log.count(QStringLiteral("湿度:")) >= 15);
    QCOMPARE(every.boxes, QStringList{QStringLiteral("批量写入参数失败")});
    QVERIFY2(
        due.wakes < int(every.ticks) / 5,
        qPrintable(QStringLiteral("%1 wake-ups for %2 ticks").arg(due.wakes).arg(every.ticks)));
}

QTEST_MAIN(TestScheduling)
#include "tst_scheduling.moc"
