// The link statistics against the simulated transmitter's faults: requests
// by kind, replies, blocks not recognised by cause, exception replies,
// time-outs, bytes both ways and response times in ticks, and their reset
// at each successful connection. The device is served on the tick grid
// (delays and gaps land on exact ticks); faults without any timing are
// served by SimulatorHost as well, with the same figures.

#include <QtTest>

#include "EngineTest.h"
#include "Faults.h"
#include "Pty.h"
#include "SimLine.h"

using enginetest::enableAllWrites;
using enginetest::joined;
using enginetest::SimLine;
using enginetest::Trace;

namespace {

QString kindsText(const movra::LinkStats &st)
{
    QStringList kinds;
    for (int i = 0; i < movra::LinkStats::kKinds; ++i) {
        if (st.requestsByKind[size_t(i)])
            kinds << QStringLiteral("%1 %2")
                         .arg(QLatin1String(movra::requestKindName(i)))
                         .arg(st.requestsByKind[size_t(i)]);
    }
    return kinds.join(QStringLiteral(", "));
}

QString causesText(const movra::LinkStats &st)
{
    using C = movra::BlockCause;
    const auto n = [&](C c) {
        return st.notRecognised[size_t(c)];
    };
    return QStringLiteral("too-short %1, bad-crc %2, unknown-function %3, unexpected %4")
        .arg(n(C::TooShort))
        .arg(n(C::BadCrc))
        .arg(n(C::UnknownFunction))
        .arg(n(C::Unexpected));
}

// min/mean/p95/max in ticks.
QString responseText(const movra::LinkStats &st)
{
    const movra::ResponseTimes &r = st.response;
    return QStringLiteral("%1/%2/%3/%4")
        .arg(r.minTicks)
        .arg(r.meanTicks(), 0, 'f', 2)
        .arg(r.percentileTicks(0.95))
        .arg(r.maxTicks);
}

bool setFaults(movrasim::DeviceModel &device, const QString &items)
{
    movrasim::Faults faults;
    QString error;
    const bool ok = movrasim::parseFaults({items}, &faults, &error);
    device.setFaults(faults);
    return ok;
}

// Ten readings, 30 ticks apart, each given up 20 ticks after it went out.
bool tenReadings(SimLine &line)
{
    for (int i = 0; i < 10; ++i) {
        line.session.request(movra::ReqReadBoth, 0, 20);
        if (!line.settle() || !line.tick(30))
            return false;
    }
    return true;
}

bool runBatch(SimLine &line, bool write)
{
    bool done = false;
    const QMetaObject::Connection c =
        QObject::connect(&line.session, &movra::Session::batchFinished, [&done] { done = true; });
    if (write) {
        enableAllWrites(line.session);
        line.session.startBatchWrite();
    } else {
        line.session.startBatchRead();
    }
    const bool finished = line.ticksUntil([&done] { return done; }, 1000) > 0;
    QObject::disconnect(c);
    return finished;
}

void addColumns()
{
    QTest::addColumn<bool>("host");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<QString>("requests");
    QTest::addColumn<int>("replies");
    QTest::addColumn<QString>("causes");
    QTest::addColumn<int>("exceptions");
    QTest::addColumn<int>("timeouts");
    QTest::addColumn<int>("bytesIn"); // -1: as the line counted them
    QTest::addColumn<QString>("response");
}

const char kClean[] = "too-short 0, bad-crc 0, unknown-function 0, unexpected 0";

// Connects on a clean line, lets the device misbehave, runs the work, and
// compares the figures with the row.
void checkStats(const std::function<bool(SimLine &)> &work)
{
    QFETCH(bool, host);
    QFETCH(QString, faults);
    QFETCH(QString, requests);
    QFETCH(int, replies);
    QFETCH(QString, causes);
    QFETCH(int, exceptions);
    QFETCH(int, timeouts);
    QFETCH(int, bytesIn);
    QFETCH(QString, response);

    SimLine line(host ? SimLine::Serve::Host : SimLine::Serve::TickGrid);
    QVERIFY(line.start(9600));
    QVERIFY(line.connectAt(9600));
    QVERIFY(setFaults(line.model(), faults));
    QVERIFY(work(line));

    const movra::LinkStats &st = line.session.stats();
    QCOMPARE(kindsText(st), requests);
    QCOMPARE(st.replies, quint64(replies));
    if (causes.startsWith(QLatin1String("noise")))
        QCOMPARE(st.notRecognisedTotal(), quint64(causes.section(' ', 1).toInt()));
    else
        QCOMPARE(causesText(st), causes);
    QCOMPARE(st.exceptions, quint64(exceptions));
    QCOMPARE(st.timeouts, quint64(timeouts));
    QCOMPARE(responseText(st), response);
    // Every byte both ends saw, the handshake's included.
    QCOMPARE(st.bytesWritten, quint64(line.heard.size()));
    QCOMPARE(st.bytesRead, quint64(line.deviceSent));
    if (bytesIn >= 0)
        QCOMPARE(st.bytesRead, quint64(bytesIn));
}

} // namespace

class TestLinkStats : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readings_data();
    void readings();
    void batches_data();
    void batches();
    void droppedRepliesAreTimeouts();
    void responsePercentile_data();
    void responsePercentile();
    void resetAtEachConnection();
};

void TestLinkStats::init()
{
    if (!movratest::PtyPair::isSupported())
        QSKIP("needs pseudo-terminals");
}

void TestLinkStats::readings_data()
{
    addColumns();
    // The handshake is in every row: one probe of 8 bytes, 23 bytes of
    // identification, 3 ticks. A reading is 8 bytes out and 9 back.
    const QString reads = QStringLiteral("probe 1, read-both 10");
    for (bool host : {false, true}) {
        const QString by = host ? QStringLiteral(", host") : QString();
        QTest::newRow(qPrintable("clean line" + by))
            << host << "" << reads << 11 << kClean << 0 << 0 << 113 << "3/3.00/3/3";
        QTest::newRow(qPrintable("silent" + by))
            << host << "silent" << reads << 1 << kClean << 0 << 10 << 23 << "3/3.00/3/3";
        QTest::newRow(qPrintable("bad CRC" + by))
            << host << "badcrc" << reads << 1
            << "too-short 0, bad-crc 10, unknown-function 0, unexpected 0" << 0 << 10 << 113
            << "3/3.00/3/3";
        QTest::newRow(qPrintable("exception" + by))
            << host << "exception" << reads << 1 << kClean << 10 << 10 << 73 << "3/3.00/3/3";
        // The adapter's echo comes first; the reply is read after it.
        QTest::newRow(qPrintable("echo" + by))
            << host << "echo" << reads << 11 << kClean << 0 << 0 << 193 << "3/3.00/3/3";
    }
    // Five ticks late, taken after the three quiet ones.
    QTest::newRow("delay 50 ms") << false << "delay=50" << reads << 11 << kClean << 0 << 0 << 113
                                 << "3/7.55/8/8";
    // Later than the deadline: given up, and still recognised when it comes.
    QTest::newRow("delay 250 ms") << false << "delay=250" << reads << 11 << kClean << 0 << 10 << 113
                                  << "3/3.00/3/3";
    // Two quiet ticks join the halves; three part them.
    QTest::newRow("split 20 ms") << false << "split=20" << reads << 11 << kClean << 0 << 0 << 113
                                 << "3/4.82/5/5";
    QTest::newRow("split 30 ms") << false << "split=30" << reads << 1
                                 << "too-short 20, bad-crc 0, unknown-function 0, unexpected 0" << 0
                                 << 10 << 113 << "3/3.00/3/3";
    // Noise 50 ms ahead of each reply is a block of its own.
    QTest::newRow("garbage 50 ms ahead") << false << "garbage=50,seed=3" << reads << 11
                                         << "noise 10" << 0 << 0 << -1 << "3/7.55/8/8";
}

void TestLinkStats::readings()
{
    checkStats(tenReadings);
}

void TestLinkStats::batches_data()
{
    addColumns();
    QTest::addColumn<bool>("write");

    const QString reads =
        QStringLiteral("probe 1, read-address 1, read-baud-rate 1, read-temp-correction 1, "
                       "read-humi-correction 1, read-order 1");
    const QString writes =
        QStringLiteral("probe 1, write-temp-correction 1, write-humi-correction 1, write-order 1, "
                       "write-address 1, write-baud-rate 1, restart 1");
    QTest::newRow("batch read") << false << "" << reads << 6 << kClean << 0 << 0 << 58
                                << "3/3.00/3/3" << false;
    // Behind the echo of its request the baud-rate reply is not found.
    QTest::newRow("batch read, echo") << false << "echo" << reads << 5
                                      << "too-short 0, bad-crc 0, unknown-function 1, unexpected 0"
                                      << 0 << 1 << 97 << "3/3.00/3/3" << false;
    // The echo of the restart arrives with nothing waiting for it.
    QTest::newRow("batch write") << false << "" << writes << 6
                                 << "too-short 0, bad-crc 0, unknown-function 0, unexpected 1" << 0
                                 << 0 << 70 << "3/3.00/3/3" << true;
    // Register writes are refused; the baud-rate frame is no register write.
    QTest::newRow("batch write, exception")
        << false << "exception" << writes << 2 << kClean << 5 << 4 << 55 << "3/3.00/3/3" << true;
}

void TestLinkStats::batches()
{
    QFETCH(bool, write);
    checkStats([write](SimLine &line) { return runBatch(line, write); });
}

void TestLinkStats::droppedRepliesAreTimeouts()
{
    SimLine line(SimLine::Serve::TickGrid);
    QVERIFY(line.start(9600));
    QVERIFY(line.connectAt(9600));
    QVERIFY(setFaults(line.model(), QStringLiteral("drop=50,seed=7")));
    const int answeredBefore = line.answers;
    QVERIFY(tenReadings(line));

    const int answered = line.answers - answeredBefore;
    QVERIFY2(answered > 0 && answered < 10, "the seed should drop some replies, not all");
    const movra::LinkStats &st = line.session.stats();
    QCOMPARE(st.requests, quint64(11));
    QCOMPARE(st.replies, quint64(1 + answered));
    QCOMPARE(st.timeouts, quint64(10 - answered));
    QCOMPARE(st.notRecognisedTotal(), quint64(0));
    QCOMPARE(st.response.count, quint64(1 + answered));
}

void TestLinkStats::responsePercentile_data()
{
    QTest::addColumn<int>("reads");
    QTest::addColumn<int>("slow");
    QTest::addColumn<QString>("response");

    // The handshake is one more sample. Slow replies take 8 ticks, the rest 3.
    QTest::newRow("21 samples, none slow") << 20 << 0 << "3/3.00/3/3";
    QTest::newRow("21 samples, one slow") << 20 << 1 << "3/3.24/3/8";
    QTest::newRow("21 samples, two slow") << 20 << 2 << "3/3.48/8/8";
    // Exactly 95 % at 3 ticks.
    QTest::newRow("20 samples, one slow") << 19 << 1 << "3/3.25/3/8";
    QTest::newRow("20 samples, two slow") << 19 << 2 << "3/3.50/8/8";
}

void TestLinkStats::responsePercentile()
{
    QFETCH(int, reads);
    QFETCH(int, slow);
    QFETCH(QString, response);

    SimLine line(SimLine::Serve::TickGrid);
    QVERIFY(line.start(9600));
    QVERIFY(line.connectAt(9600));
    for (int i = 0; i < reads; ++i) {
        QVERIFY(setFaults(line.model(), i < slow ? QStringLiteral("delay=50") : QString()));
        line.session.request(movra::ReqReadBoth, 0, 20);
        QVERIFY(line.settle());
        QVERIFY(line.tick(30));
    }
    QCOMPARE(line.session.stats().response.count, quint64(reads + 1));
    QCOMPARE(responseText(line.session.stats()), response);
}

void TestLinkStats::resetAtEachConnection()
{
    SimLine line(SimLine::Serve::TickGrid);
    QVERIFY(line.start(9600));
    movra::Session &s = line.session;
    QVERIFY(line.connectAt(9600));
    QVERIFY(setFaults(line.model(), QStringLiteral("badcrc")));
    QVERIFY(tenReadings(line));
    s.disconnectByOperator();

    // A failed attempt adds to the figures of the last connection.
    QVERIFY(setFaults(line.model(), QStringLiteral("silent")));
    const qint64 heardBefore = line.heard.size();
    Trace trace(s);
    QVERIFY(line.beginManual(9600));
    QVERIFY(line.ticksUntil([&] { return s.linkState() == movra::LinkState::Failed; }, 100) > 0);
    const int probes = trace.of({"sent"}).size();
    QVERIFY(probes > 0);
    QCOMPARE(line.heard.size() - heardBefore, qint64(probes) * movra::kRequestFrameSize);
    QCOMPARE(s.stats().requests, quint64(11 + probes));
    QCOMPARE(s.stats().notRecognised[size_t(movra::BlockCause::BadCrc)], quint64(10));
    QCOMPARE(s.stats().timeouts, quint64(11));

    // A successful one starts them again from its own handshake.
    QVERIFY(setFaults(line.model(), QString()));
    QVERIFY(line.connectAt(9600));
    const movra::LinkStats &st = s.stats();
    QCOMPARE(kindsText(st), QStringLiteral("probe 1"));
    QCOMPARE(st.replies, quint64(1));
    QCOMPARE(st.notRecognisedTotal() + st.exceptions + st.timeouts + st.replaced, quint64(0));
    QCOMPARE(st.bytesWritten, quint64(movra::kRequestFrameSize));
    QCOMPARE(st.bytesRead, quint64(movrasim::DeviceModel::identificationText().size()));
    QCOMPARE(responseText(st), QStringLiteral("3/3.00/3/3"));
}

QTEST_MAIN(TestLinkStats)
#include "tst_linkstats.moc"
