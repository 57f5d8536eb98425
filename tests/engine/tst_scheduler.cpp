// Ticks only when one is due: Session::ticksUntilDue and TickScheduler's
// WhenDue mode on a virtual clock. The same session runs once with a tick
// every 10 ms and once woken only when due, against the simulated
// transmitter, with bytes and operator actions at their exact moments; the
// two must report the same things on the same ticks.

#include <QEventLoop>
#include <QtTest>

#include "Clocked.h"

using enginetest::Clocked;
using enginetest::joined;
using enginetest::kMs;
using enginetest::kTick;
using movra::LinkState;
using movra::Parameter;
using movra::Quantity;
using movra::Session;
using movra::TickScheduler;
using Mode = movra::TickScheduler::Mode;

namespace {

// Ticks while the scheduler runs a tick: at most one of each, in order.
struct TickLog
{
    QList<quint64> ticks;
    bool inOrder() const
    {
        for (int i = 0; i < ticks.size(); ++i)
            if (ticks.at(i) != quint64(i + 1))
                return false;
        return true;
    }
};

movrasim::Faults silent()
{
    movrasim::Faults f;
    f.silent = true;
    return f;
}

QByteArray readBothReply()
{
    movrasim::DeviceModel device;
    device.setFixedTemperature(qint16(215));
    device.setFixedHumidity(quint16(480));
    const QVector<movrasim::Emission> out =
        device.receive(movra::buildRequestFrame(0x01, 0x03, 0x0000, 2));
    return out.isEmpty() ? QByteArray() : out.first().bytes;
}

} // namespace

class TestScheduler : public QObject
{
    Q_OBJECT

private slots:
    void ticksUntilDue_data();
    void ticksUntilDue();

    void sameAsEveryTick_data();
    void sameAsEveryTick();

    void wakesOnlyWhenDue_data();
    void wakesOnlyWhenDue();
    void lateWake_data();
    void lateWake();
    void changeFromOutsideCatchesUp_data();
    void changeFromOutsideCatchesUp();
    void noTickInsideATick();
    void nestedLoopOutsideATickRunsEachTickOnce();
    void restartInsideATick();
    void leavesTheSessionAlone_data();
    void leavesTheSessionAlone();
    void modeFromEnvironment_data();
    void modeFromEnvironment();
};

void TestScheduler::ticksUntilDue_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("due");

    // Steps: "F<n>" feeds n bytes, "T<n>" runs n ticks, "C" connects
    // without a port (3 ticks), "M" starts a manual attempt, "P" switches
    // periodic temperature on, "B" starts a batch read, "R<n>" requests a
    // reading with an n-tick time-out, "D" disconnects.
    QTest::newRow("nothing") << "" << -1;
    QTest::newRow("bytes, no tick yet") << "F9" << 3;
    QTest::newRow("bytes, one quiet tick") << "F9 T1" << 2;
    QTest::newRow("bytes, two quiet ticks") << "F9 T2" << 1;
    QTest::newRow("100 bytes wait for quiet") << "F100" << 3;
    QTest::newRow("101 bytes go at once") << "F101" << 1;
    QTest::newRow("more bytes start the count again") << "F9 T2 F1" << 3;
    QTest::newRow("script's time-out") << "R7" << 7;
    QTest::newRow("time-out beyond the quiet ticks") << "R7 F3" << 3;
    QTest::newRow("manual attempt, start of a period") << "M" << 10;
    QTest::newRow("manual attempt, 4 ticks in") << "T4 M" << 6;
    QTest::newRow("connected, idle") << "C" << -1;
    QTest::newRow("connected, periodic reading") << "C P" << 97;
    QTest::newRow("connected, periodic, 40 ticks on") << "C P T40" << 57;
    QTest::newRow("connected, batch read") << "C B" << 7;
    QTest::newRow("periodic reading, not connected") << "P" << -1;
    QTest::newRow("batch read, not connected") << "B" << -1;
    QTest::newRow("disconnected") << "C P D" << -1;
}

void TestScheduler::ticksUntilDue()
{
    QFETCH(QString, setup);
    QFETCH(int, due);

    Session s;
    for (const QString &step : setup.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int n = step.mid(1).toInt();
        switch (step.at(0).toLatin1()) {
        case 'F':
            s.receive(QByteArray(n, '\x11'));
            break;
        case 'T':
            enginetest::run(s, n);
            break;
        case 'C':
            QVERIFY(enginetest::connectWithoutPort(s));
            break;
        case 'M':
            QVERIFY(s.beginManualConnect());
            break;
        case 'P':
            s.setInterval(Quantity::Temperature, 1);
            s.setPeriodicReading(Quantity::Temperature, true);
            break;
        case 'B':
            s.startBatchRead();
            break;
        case 'R':
            s.request(movra::ReqReadTemperature, 0, n);
            break;
        case 'D':
            s.disconnectByOperator();
            break;
        }
    }
    QCOMPARE(s.ticksUntilDue(), due);
}

void TestScheduler::sameAsEveryTick_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 12; ++seed)
        QTest::addRow("seed %u", seed) << seed;
}

void TestScheduler::sameAsEveryTick()
{
    QFETCH(quint32, seed);
    const qint64 length = 90000 * kMs;

    Clocked every(false);
    Clocked due(true);
    enginetest::script(every, seed, length);
    enginetest::script(due, seed, length);
    QVERIFY2(every.runTo(length), qPrintable(every.fault));
    QVERIFY(due.runTo(length));

    QCOMPARE(due.session.ticks(), every.session.ticks());
    QCOMPARE(due.ticker.ticksLost(), quint64(0));
    QCOMPARE(joined(due.trace.lines), joined(every.trace.lines));
    // The run did something, and did it in far fewer wake-ups.
    QVERIFY(every.trace.lines.size() >= 50);
    QVERIFY(!every.trace.of({"measured"}).isEmpty());
    QVERIFY2(
        due.wakes < int(every.session.ticks()) / 4,
        qPrintable(
            QStringLiteral("%1 wake-ups for %2 ticks").arg(due.wakes).arg(every.session.ticks())));
}

void TestScheduler::wakesOnlyWhenDue_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QList<int>>("wakeTicks");

    const int idle = TickScheduler::kIdleWakeTicks;
    QTest::newRow("nothing to do") << "idle" << QList<int>{idle, 2 * idle};
    // Five periods, the sixth gives up; then nothing is due.
    QTest::newRow("manual attempt without a port")
        << "attempt" << QList<int>{10, 20, 30, 40, 50, 60, 60 + idle};
    // A far time-out is slept towards in idle wake-ups.
    QTest::newRow("a script's request with a 1000-tick time-out")
        << "deadline" << QList<int>{idle, 2 * idle, 3 * idle, 4 * idle, 1000, 1000 + idle};
    // No answer: each second's request replaces the last.
    QTest::newRow("periodic reading, nobody answers")
        << "periodic" << QList<int>{100, 200, 300, 400};
}

void TestScheduler::wakesOnlyWhenDue()
{
    QFETCH(QString, state);
    QFETCH(QList<int>, wakeTicks);

    Clocked c(true);
    c.device.setFaults(silent());
    if (state == QLatin1String("attempt")) {
        QVERIFY(c.session.beginManualConnect());
    } else if (state == QLatin1String("deadline")) {
        c.session.request(movra::ReqReadTemperature, 0, 1000);
    } else if (state == QLatin1String("periodic")) {
        // Connected by hand, the second counter back at 0, the grid new.
        c.session.request(movra::ReqProbe);
        c.session.receive(enginetest::identification());
        enginetest::run(c.session, 100);
        c.ticker.start();
        QVERIFY(c.session.linkState() == LinkState::Connected);
        c.session.setInterval(Quantity::Temperature, 1);
        c.session.setPeriodicReading(Quantity::Temperature, true);
    }
    QList<int> woke;
    for (int i = 0; i < wakeTicks.size(); ++i) {
        QVERIFY(c.ticker.wakeAt() > c.now);
        c.now = c.ticker.wakeAt();
        woke << int(c.now / kTick);
        c.ticker.wake();
    }
    QCOMPARE(woke, wakeTicks);
    QCOMPARE(c.ticker.ticksRun(), quint64(wakeTicks.last()));
}

void TestScheduler::lateWake_data()
{
    QTest::addColumn<int>("lateUs");
    QTest::addColumn<int>("lost");

    QTest::newRow("on time") << 0 << 0;
    QTest::newRow("9.9 ms late") << 9900 << 0;
    QTest::newRow("10 ms late") << 10000 << 1;
    QTest::newRow("25 ms late") << 25000 << 2;
    QTest::newRow("a second late") << 1000000 << 100;
}

// As a late 10 ms timer: the due tick runs once, now, and the grid moves on
// by the delay.
void TestScheduler::lateWake()
{
    QFETCH(int, lateUs);
    QFETCH(int, lost);

    Clocked c(true);
    QVERIFY(c.session.beginManualConnect());
    QCOMPARE(c.ticker.wakeAt(), 10 * kTick);
    c.now = 10 * kTick + qint64(lateUs) * 1000;
    c.ticker.wake();
    QCOMPARE(c.session.ticks(), quint64(10));
    QCOMPARE(c.ticker.ticksLost(), quint64(lost));
    QCOMPARE(c.ticker.wakeAt(), (20 + lost) * kTick);
}

void TestScheduler::changeFromOutsideCatchesUp_data()
{
    QTest::addColumn<int>("atUs");
    QTest::addColumn<int>("ticksBefore");
    QTest::addColumn<int>("lost");
    QTest::addColumn<int>("takenAt");

    // The first half of a reply came at 0; the second half comes at atUs.
    QTest::newRow("within the first tick") << 4000 << 0 << 0 << 3;
    QTest::newRow("after two quiet ticks") << 25300 << 2 << 0 << 5;
    // The take was due at 30 ms and its wake-up has not run: the bytes
    // come before it, as before a late timer's tick.
    QTest::newRow("at the due moment") << 30000 << 2 << 1 << 5;
    QTest::newRow("17 ms after it") << 47000 << 2 << 2 << 5;
}

void TestScheduler::changeFromOutsideCatchesUp()
{
    QFETCH(int, atUs);
    QFETCH(int, ticksBefore);
    QFETCH(int, lost);
    QFETCH(int, takenAt);

    Clocked c(true);
    c.device.setFaults(silent());
    const QByteArray reply = readBothReply();
    QCOMPARE(reply.size(), 9);
    c.session.request(movra::ReqReadBoth);
    c.session.receive(reply.left(4));
    QCOMPARE(c.ticker.wakeAt(), 3 * kTick);
    c.now = qint64(atUs) * 1000;
    QList<quint64> seenAtReceive;
    QObject::connect(&c.session, &Session::dueChanged, &c.ticker,
                     [&] { seenAtReceive << c.session.ticks(); });
    c.session.receive(reply.mid(4));
    QCOMPARE(seenAtReceive.value(0), quint64(ticksBefore));
    QCOMPARE(c.ticker.ticksLost(), quint64(lost));
    QVERIFY(c.runTo(c.ticker.wakeAt()));
    QCOMPARE(c.session.bufferedBytes(), 0);
    QCOMPARE(c.trace.of({"measured"}),
             QStringList{QStringLiteral("%1 measured T=215 H=480").arg(takenAt)});
}

// A box opened by a tick runs an event loop; a repeating Qt timer does not
// fire again while its own slot runs, and neither does the scheduler.
void TestScheduler::noTickInsideATick()
{
    Clocked c(true);
    QVERIFY(c.session.beginManualConnect());
    TickLog log;
    int insideTicks = -1;
    QObject::connect(&c.ticker, &TickScheduler::tick, &c.ticker, [&] {
        log.ticks << c.session.ticks();
        if (c.session.ticks() != 10)
            return;
        // The period tick of the attempt: a box, and time goes on.
        const int before = log.ticks.size();
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            c.now += 500 * kMs;
            c.ticker.wake();
            c.session.receive("late bytes");
            insideTicks = log.ticks.size() - before;
            loop.quit();
        });
        loop.exec();
    });
    c.now = 10 * kTick;
    c.ticker.wake();
    QCOMPARE(insideTicks, 0);
    QVERIFY(log.inOrder());
    // Afterwards the box's time is lost to the grid, as to a late timer.
    QVERIFY(c.runTo(c.now + 100 * kMs));
    QVERIFY(log.inOrder());
    QCOMPARE(int(c.session.ticks()), log.ticks.size());
    QVERIFY(c.ticker.ticksLost() >= 40);
}

// A box opened outside a tick (a port failure) runs ticks in its loop as
// the timer would; the change that opened it then finds them run.
void TestScheduler::nestedLoopOutsideATickRunsEachTickOnce()
{
    Clocked c(true);
    QVERIFY(c.session.beginManualConnect());
    TickLog log;
    QObject::connect(&c.ticker, &TickScheduler::tick, &c.ticker,
                     [&] { log.ticks << c.session.ticks(); });
    bool boxed = false;
    QObject::connect(&c.session, &Session::logMessage, &c.ticker, [&](const QString &) {
        if (boxed || c.session.ticks() != 0)
            return;
        boxed = true;
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            for (int i = 0; i < 25; ++i) {
                c.now += 7 * kMs;
                c.ticker.wake();
            }
            loop.quit();
        });
        loop.exec();
    });
    c.now = 3 * kMs;
    c.session.startBatchRead(); // logs, and the box opens from there
    QVERIFY(boxed);
    QVERIFY(log.ticks.size() >= 10);
    c.now += 2 * kMs;
    c.session.readNow();
    QVERIFY(c.runTo(c.now + 200 * kMs));
    QVERIFY(log.inOrder());
    QCOMPARE(int(c.session.ticks()), log.ticks.size());
}

// A restart begins a new grid at once; the old one's catch-up ends there.
void TestScheduler::restartInsideATick()
{
    Clocked c(true);
    QObject::connect(&c.ticker, &TickScheduler::tick, &c.ticker, [&] {
        if (c.session.ticks() == 50)
            c.ticker.start();
    });
    c.now = 2000 * kMs;
    c.ticker.wake();
    QCOMPARE(c.session.ticks(), quint64(50));
    QCOMPARE(c.ticker.ticksRun(), quint64(0));
    QCOMPARE(c.ticker.wakeAt(), c.now + TickScheduler::kIdleWakeTicks * kTick);
}

void TestScheduler::leavesTheSessionAlone_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("started");

    QTest::newRow("when due, stopped") << int(Mode::WhenDue) << false;
    QTest::newRow("every tick, running") << int(Mode::EveryTick) << true;
}

// Tests that tick by hand stop the scheduler; the plain timer knows no
// catch-up.
void TestScheduler::leavesTheSessionAlone()
{
    QFETCH(int, mode);
    QFETCH(bool, started);

    qint64 now = 0;
    Session s;
    TickScheduler t;
    t.setClock([&now] { return now; });
    t.follow(&s);
    t.setMode(Mode(mode));
    if (started)
        t.start();
    int ticks = 0;
    QObject::connect(&t, &TickScheduler::tick, &t, [&] { ++ticks; });
    now = 35 * kMs;
    s.receive("bytes");
    s.readNow();
    t.wake();
    QCOMPARE(ticks, 0);
    QCOMPARE(s.ticks(), quint64(0));
    QCOMPARE(t.wakeAt(), qint64(-1));
}

void TestScheduler::modeFromEnvironment_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("fallback");
    QTest::addColumn<int>("mode");

    const int every = int(Mode::EveryTick), due = int(Mode::WhenDue);
    QTest::newRow("every") << QByteArray("every") << due << every;
    QTest::newRow("due") << QByteArray("due") << every << due;
    QTest::newRow("unset") << QByteArray() << due << due;
    QTest::newRow("unknown word") << QByteArray("sometimes") << every << every;
}

void TestScheduler::modeFromEnvironment()
{
    QFETCH(QByteArray, value);
    QFETCH(int, fallback);
    QFETCH(int, mode);

    QCOMPARE(int(TickScheduler::modeNamed(QString::fromLatin1(value), Mode(fallback))), mode);
}

QTEST_MAIN(TestScheduler)
#include "tst_scheduler.moc"
