// The session without a port, through its own interface, tick by tick:
// reply intake, the handshake, the connection procedures that need no line,
// and the deadlines of a script's requests.

#include <QtTest>

#include "Bytes.h"
#include "EngineTest.h"
#include "link/Texts.h"

using enginetest::connectWithoutPort;
using enginetest::joined;
using enginetest::run;
using enginetest::Trace;
using movra::LinkState;
using movra::Session;
using movratest::hex;
using movratest::withCrc;

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void replyIntake_data();
    void replyIntake();

    void handshake_data();
    void handshake();

    void manualAttemptWithoutPortTimesOut();
    void startRefusedDuringAttempt_data();
    void startRefusedDuringAttempt();
    void disconnectByOperator_data();
    void disconnectByOperator();

    void requestDeadline_data();
    void requestDeadline();
};

void TestSession::replyIntake_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("taken");
    QTest::addColumn<bool>("measured");

    // Script: "F<n>" feeds the next n bytes of a measurement reply (padded
    // with zeros), "T" runs one tick. `taken` has one mark per tick: "x"
    // where the receive buffer has just been emptied.
    QTest::newRow("reply at once") << "F9 T T T"
                                   << "--x" << true;
    QTest::newRow("pauses of two ticks join the parts") << "F4 T T F5 T T T"
                                                        << "----x" << true;
    QTest::newRow("byte by byte with one-tick gaps")
        << "F1 T F1 T F1 T F1 T F1 T F1 T F1 T F1 T F1 T T T"
        << "----------x" << true;
    QTest::newRow("three quiet ticks split the reply") << "F4 T T T F5 T T T"
                                                       << "--x--x" << false;
    QTest::newRow("100 bytes wait for quiet") << "F100 T T T"
                                              << "--x" << false;
    QTest::newRow("101 bytes taken at the next tick") << "F101 T"
                                                      << "x" << false;
    QTest::newRow("stream passing 100 bytes") << "F60 T F41 T"
                                              << "-x" << false;
    QTest::newRow("stream reaching exactly 100 bytes") << "F50 T F50 T F1 T"
                                                       << "--x" << false;
}

void TestSession::replyIntake()
{
    QFETCH(QString, script);
    QFETCH(QString, taken);
    QFETCH(bool, measured);

    Session s;
    Trace trace(s);
    s.request(movra::ReqReadBoth);
    const QByteArray stream = hex("010304025800FAFA1B") + QByteArray(200, '\0');

    int fed = 0;
    QString marks;
    for (const QString &step : script.split(QLatin1Char(' '))) {
        if (step.startsWith(QLatin1Char('F'))) {
            const int n = step.mid(1).toInt();
            s.receive(stream.mid(fed, n));
            fed += n;
        } else {
            const bool before = s.bufferedBytes() > 0;
            s.tick();
            marks += before && s.bufferedBytes() == 0 ? QLatin1Char('x') : QLatin1Char('-');
        }
    }
    QCOMPARE(marks, taken);
    QCOMPARE(trace.unstamped({"measured"}),
             measured ? QStringList{"measured T=250 H=600"} : QStringList());
    QCOMPARE(s.pendingRequest(), measured ? 0 : qint32(movra::ReqReadBoth));
    QCOMPARE(s.stats().bytesRead, quint64(fed));
}

void TestSession::handshake_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("probe");
    QTest::addColumn<bool>("testMode");
    QTest::addColumn<bool>("readOnConnect");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("sentNext");

    const QByteArray ident("\0\0KVT582-TH V1.0\0", 17);
    const QStringList none;

    QTest::newRow("manual, NULs before the name")
        << "manual" << 1 << false << false << ident
        << QStringList{"handshake", "connected 2400 normal -1"} << "";
    QTest::newRow("automatic") << "auto" << 1 << false << false << ident
                               << QStringList{"handshake", "connected 2400 normal -1"} << "";
    QTest::newRow("answer after the attempt timed out")
        << "failed" << 1 << false << false << ident
        << QStringList{"handshake", "connected 2400 normal -1"} << "";
    QTest::newRow("lower case refused")
        << "manual" << 1 << false << false << QByteArray("\0kvt582", 7) << none << "";
    QTest::newRow("no probe pending") << "manual" << 0 << false << false << ident << none << "";
    QTest::newRow("the batch read starts")
        << "idle" << 1 << false << true << QByteArray("KVT582")
        << QStringList{"handshake", "connected 2400 normal -1"} << "100";

    QTest::newRow("test mode, address from the probe reply")
        << "manual" << 2 << true << false << hex("FD03040005")
        << QStringList{"handshake", "station 5", "read address 5", "log 设备地址为：5\r\n",
                       "connected 2400 test 5"}
        << "";
    QTest::newRow("test mode, full probe reply after code 1")
        << "auto" << 1 << true << false << withCrc(hex("FD030400FE0000"))
        << QStringList{"handshake", "station 254", "read address 254", "log 设备地址为：254\r\n",
                       "connected 2400 test 254"}
        << "";
    QTest::newRow("test mode, any 4 bytes")
        << "manual" << 2 << true << false << hex("01020304")
        << QStringList{"handshake", "connected 2400 test -1"} << "";
    QTest::newRow("test mode, 3 bytes")
        << "manual" << 2 << true << false << hex("FD0304") << none << "";
    QTest::newRow("normal mode wants the identification")
        << "manual" << 1 << false << false << hex("FD03040005") << none << "";
}

void TestSession::handshake()
{
    QFETCH(QString, setup);
    QFETCH(int, probe);
    QFETCH(bool, testMode);
    QFETCH(bool, readOnConnect);
    QFETCH(QByteArray, block);
    QFETCH(QStringList, events);
    QFETCH(QString, sentNext);

    Session s;
    s.setBaudRate(2400);
    s.setTestMode(testMode);
    s.setReadParametersOnConnect(readOnConnect);
    if (probe != 0)
        s.request(probe);
    if (setup == QLatin1String("manual") || setup == QLatin1String("failed"))
        QVERIFY(s.beginManualConnect());
    else if (setup == QLatin1String("auto"))
        QVERIFY(s.beginAutoConnect());
    if (setup == QLatin1String("failed")) {
        run(s, 60); // a closed port gets no probe, and the attempt ends
        QCOMPARE(s.linkState(), LinkState::Failed);
    }
    const LinkState before = s.linkState();
    Trace trace(s);

    s.receive(block);
    run(s, 2);
    QCOMPARE(s.linkState(), before);
    s.tick();

    const bool connected = !events.isEmpty();
    QCOMPARE(s.bufferedBytes(), 0);
    QCOMPARE(s.linkState(), connected ? LinkState::Connected : before);
    QCOMPARE(joined(trace.unstamped({"handshake", "station", "read", "log", "connected"})),
             joined(events));
    if (probe != 0)
        QCOMPARE(s.pendingRequest(), 0);
    if (connected) {
        // The figures restart with this connection, its own handshake included.
        const movra::LinkStats &st = s.stats();
        QCOMPARE(st.requests, quint64(1));
        QCOMPARE(st.requestsByKind[size_t(movra::requestKindIndex(probe))], quint64(1));
        QCOMPARE(st.replies, quint64(1));
        QCOMPARE(st.timeouts, quint64(0));
        QCOMPARE(st.bytesRead, quint64(block.size()));
        QCOMPARE(st.response.count, quint64(1));
        QCOMPARE(quint64(st.response.maxTicks), s.ticks()); // asked at tick 0
    }

    trace.clear();
    run(s, 20 - int(s.ticks() % 10));
    QStringList codes;
    for (const QString &line : trace.unstamped({"sent"}))
        codes << line.section(QLatin1Char(' '), 1, 1);
    QCOMPARE(codes.join(QLatin1Char(' ')), sentNext);
}

void TestSession::manualAttemptWithoutPortTimesOut()
{
    Session s;
    Trace trace(s);
    QVERIFY(s.beginManualConnect());

    // Five periods: a closed port gets no probe.
    run(s, 59);
    QCOMPARE(s.linkState(), LinkState::ManualConnecting);
    QCOMPARE(trace.lines, QStringList());
    QVERIFY(s.lastRequest().isEmpty());

    s.tick();
    QCOMPARE(s.linkState(), LinkState::Failed);
    QCOMPARE(trace.lines, (QStringList{"60 status 4",
                                       "60 log 手动连接超时\r\n\r\n" + movra::manualConnectHints(),
                                       "60 timed-out manual"}));

    // Failed is a resting state: later periods do nothing.
    trace.clear();
    run(s, 100);
    QCOMPARE(trace.lines, QStringList());
    QCOMPARE(s.linkState(), LinkState::Failed);
}

void TestSession::startRefusedDuringAttempt_data()
{
    QTest::addColumn<bool>("autoFirst");
    QTest::addColumn<bool>("autoSecond");

    QTest::newRow("manual attempt, manual start") << false << false;
    QTest::newRow("manual attempt, automatic start") << false << true;
    QTest::newRow("automatic scan, manual start") << true << false;
    QTest::newRow("automatic scan, automatic start") << true << true;
}

void TestSession::startRefusedDuringAttempt()
{
    QFETCH(bool, autoFirst);
    QFETCH(bool, autoSecond);

    Session s;
    QVERIFY(autoFirst ? s.beginAutoConnect() : s.beginManualConnect());
    const LinkState state = s.linkState();
    QVERIFY(s.isConnecting());
    Trace trace(s);
    run(s, 25);

    QVERIFY(!(autoSecond ? s.beginAutoConnect() : s.beginManualConnect()));
    QCOMPARE(s.linkState(), state);
    // The attempt runs on unchanged: the manual one ends after its five
    // periods, the scan at its first rate change, where it would open a port.
    run(s, 35);
    QCOMPARE(trace.of({"timed-out", "scan"}),
             autoFirst ? QStringList{"40 scan 0"} : QStringList{"60 timed-out manual"});
}

void TestSession::disconnectByOperator_data()
{
    QTest::addColumn<bool>("wasConnected");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("connected") << true
                               << QStringList{"status 5", "controls 5", "log 设备已经断开",
                                              "disconnected operator"};
    QTest::newRow("idle") << false << QStringList{"status 5", "controls 5", "log 设备已经断开"};
}

void TestSession::disconnectByOperator()
{
    QFETCH(bool, wasConnected);
    QFETCH(QStringList, events);

    Session s;
    if (wasConnected)
        QVERIFY(connectWithoutPort(s));
    s.setPeriodicReading(movra::Quantity::Temperature, true);
    s.setPeriodicReading(movra::Quantity::Humidity, true);
    s.startBatchRead();
    run(s, 10 - int(s.ticks())); // the first item goes out
    Trace trace(s);

    s.disconnectByOperator();

    QCOMPARE(s.linkState(), LinkState::Disconnected);
    QCOMPARE(trace.unstamped({"status", "controls", "log", "disconnected"}), events);
    QVERIFY(!s.periodicReading(movra::Quantity::Temperature));
    QVERIFY(!s.periodicReading(movra::Quantity::Humidity));
    // An interrupted batch keeps its place for the next connection.
    QVERIFY(s.batchReadActive());
    QCOMPARE(s.pendingRequest(), wasConnected ? qint32(movra::ReqReadAddress) : 0);
}

void TestSession::requestDeadline_data()
{
    QTest::addColumn<int>("timeoutTicks");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("replyAt");
    QTest::addColumn<int>("otherRequestAt");
    QTest::addColumn<QStringList>("events");

    const QByteArray both = hex("010304025800FAFA1B");
    const QByteArray none;

    QTest::newRow("answered in time") << 10 << both << 0 << -1 << QStringList{"3 settled 5"};
    QTest::newRow("answered on the deadline tick")
        << 5 << both << 2 << -1 << QStringList{"5 settled 5"};
    QTest::newRow("answered one tick late") << 5 << both << 3 << -1 << QStringList{"5 timeout 5"};
    QTest::newRow("silent") << 7 << none << -1 << -1 << QStringList{"7 timeout 5"};
    QTest::newRow("a block that is no reply")
        << 7 << hex("010304025800FAFA1C") << 0 << -1 << QStringList{"7 timeout 5"};
    QTest::newRow("no deadline") << 0 << none << -1 << -1 << QStringList();
    QTest::newRow("a later request drops the deadline") << 7 << none << -1 << 2 << QStringList();
}

void TestSession::requestDeadline()
{
    QFETCH(int, timeoutTicks);
    QFETCH(QByteArray, reply);
    QFETCH(int, replyAt);
    QFETCH(int, otherRequestAt);
    QFETCH(QStringList, events);

    Session s;
    Trace trace(s);
    s.request(movra::ReqReadBoth, 0, timeoutTicks);
    for (int t = 0; t < 300; ++t) {
        if (t == replyAt)
            s.receive(reply);
        if (t == otherRequestAt)
            s.request(movra::ReqReadTemperature);
        s.tick();
    }
    QCOMPARE(trace.of({"settled", "timeout"}), events);
    const bool timedOut = !events.isEmpty() && events.first().contains("timeout");
    QCOMPARE(s.stats().timeouts, quint64(timedOut ? 1 : 0));
    if (timedOut || !events.isEmpty())
        QCOMPARE(s.pendingRequest(), 0);
    else
        QVERIFY(s.pendingRequest() != 0); // nothing gives it up
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
