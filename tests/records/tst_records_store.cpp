// The store on a real SQLite file: every record kind back as it went in,
// units grouped and summarised, filters, paging and both export formats.

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "RecordsTestSupport.h"
#include "records/LocalOffset.h"
#include "records/RecordExport.h"
#include "records/RecordStore.h"

using namespace records_test;

Q_DECLARE_METATYPE(movra::records::RecordData)
Q_DECLARE_METATYPE(movra::records::Verdict)

namespace {

const QDateTime t0 = QDateTime(QDate(2024, 5, 6), QTime(8, 0), Qt::UTC);

} // namespace

class RecordStoreTest : public StoreFileTest
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void stampsWhatTheCallerLeavesOut();
    void unitsGroupTheirRecords();
    void numbersAreStoredAsNumbers();
    void filters_data();
    void filters();
    void pagingVisitsEveryUnitOnce();
    void unitRecordsInPages();
    void localOffsetAsked_data();
    void localOffsetAsked();
};

void RecordStoreTest::roundTrip_data()
{
    QTest::addColumn<RecordData>("data");
    QTest::addColumn<bool>("inUnit");
    QTest::addColumn<bool>("later"); // closed as the window closes, without waiting

    Attempt noAddress = okAttempt(QStringLiteral("COM12"));
    noAddress.address.reset();
    noAddress.mode = Mode::Test;
    noAddress.ident = QStringLiteral("FD 03 04 00 07 1A 2B");
    Attempt failedAttempt;
    failedAttempt.port = QStringLiteral("/dev/ttyUSB1");
    failedAttempt.baud = 115200;
    failedAttempt.reason = QStringLiteral("无应答, \"超时\"\n第二行");
    BatchRead partial;
    partial.station = 7;
    partial.humiOffset = -2.5;

    QTest::newRow("attempt, ok") << RecordData(okAttempt()) << true << false;
    QTest::newRow("attempt, test mode, no address") << RecordData(noAddress) << true << false;
    QTest::newRow("attempt, failed") << RecordData(failedAttempt) << false << false;
    QTest::newRow("reading, temperature, pass")
        << RecordData(reading(Quantity::Temperature, 23.1, 23.0, 0.5)) << true << false;
    QTest::newRow("reading, humidity, fail, below")
        << RecordData(reading(Quantity::Humidity, 47.3, 50.0, 1.0)) << true << false;
    QTest::newRow("reading, negative temperature")
        << RecordData(reading(Quantity::Temperature, -40.0, -39.9, 0.2)) << true << false;
    QTest::newRow("write, station, confirmed")
        << RecordData(ParameterWrite{Parameter::Address, 12, true}) << true << false;
    QTest::newRow("write, temperature offset, timed out")
        << RecordData(ParameterWrite{Parameter::TempCorrection, -1.5, false}) << true << false;
    QTest::newRow("write, order") << RecordData(ParameterWrite{Parameter::Order, 1, true}) << true
                                  << false;
    QTest::newRow("batch, all five")
        << RecordData(BatchRead{1, 9600, 0.3, -1.2, 0}) << true << false;
    QTest::newRow("batch, two answered") << RecordData(partial) << true << false;
    QTest::newRow("disconnect, operator")
        << RecordData(Disconnect{EndedBy::Operator, {}}) << true << false;
    QTest::newRow("disconnect, port lost")
        << RecordData(Disconnect{EndedBy::PortLost, QStringLiteral("设备已拔出")}) << true << false;
    QTest::newRow("disconnect, closed later")
        << RecordData(Disconnect{EndedBy::Operator, {}}) << true << true;
    QTest::newRow("calibration") << RecordData(Calibration{Quantity::Humidity, 45, 1, 44.125, -0.5,
                                                           0.4, 45.05, 5, true, true})
                                 << true << false;
    QTest::newRow("calibration, dry run")
        << RecordData(Calibration{Quantity::Temperature, -20, 0.2, -19.5, 0, -0.5, std::nullopt, 3,
                                  false, std::nullopt})
        << true << false;
}

// Each kind written, the store closed, and read back by a new store.
void RecordStoreTest::roundTrip()
{
    QFETCH(RecordData, data);
    QFETCH(bool, inUnit);
    QFETCH(bool, later);

    const QUuid unit = newId(t0);
    Record r = record(data, t0.addMSecs(1234), inUnit ? unit : QUuid());
    {
        RecordStore store;
        QVERIFY(store.open(path));
        if (inUnit && r.kind() != Kind::Attempt)
            store.append(record(okAttempt(), t0, unit));
        store.append(r);
        if (later) {
            store.closeLater();
            RecordStore::finishClosing();
        }
        store.waitForWrites();
        QCOMPARE(store.keptInMemory(), 0);
    }
    RecordStore store;
    QVERIFY(store.open(path));
    if (inUnit) {
        const QVector<Record> back = store.unitRecords(unit);
        QVERIFY(!back.isEmpty());
        QCOMPARE(back.constLast(), r);
    } else {
        const QVector<Record> all = allRecords(store);
        QCOMPARE(all.size(), 1);
        const QJsonObject o = toJson(all[0]);
        QCOMPARE(o.value("id").toString(), r.id.toString(QUuid::WithoutBraces));
        QCOMPARE(o.value("ok").toBool(), false);
        QCOMPARE(o.value("reason").toString(), std::get<Attempt>(data).reason);
        QVERIFY(!o.contains("unit"));
        QCOMPARE(store.unitCount({}), 0);
    }
}

void RecordStoreTest::stampsWhatTheCallerLeavesOut()
{
    UnitStore store;
    store.setStation(QStringLiteral("工位A"));
    store.setToolVersion(QStringLiteral("9.8"));
    QVERIFY(store.open(path));
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const QUuid unit = store.unitStarted(okAttempt());
    store.add(reading(Quantity::Humidity, 50.0, 50.0, 1.0));
    store.waitForWrites();
    const QVector<Record> back = store.unitRecords(unit);
    QCOMPARE(back.size(), 2);
    QSet<QUuid> ids;
    for (const Record &r : back) {
        QCOMPARE(r.station, QStringLiteral("工位A"));
        QCOMPARE(r.toolVersion, QStringLiteral("9.8"));
        QCOMPARE(r.unit, unit);
        QVERIFY(r.time >= before.addMSecs(-1) && r.time <= QDateTime::currentDateTimeUtc());
        QCOMPARE(r.utcOffset, QDateTime::currentDateTime().offsetFromUtc());
        QCOMPARE(r.id.data3 >> 12, 7); // time-ordered, version 7
        QCOMPARE(r.id.variant(), QUuid::DCE);
        ids.insert(r.id);
    }
    QCOMPARE(ids.size(), 2);
    QVERIFY(std::get<Attempt>(back.at(0).data).ok);
}

void RecordStoreTest::unitsGroupTheirRecords()
{
    RecordStore store;
    QVERIFY(store.open(path));
    const QUuid first = newId(t0);
    store.append(record(okAttempt(QStringLiteral("COM1")), t0, first));
    store.append(record(reading(Quantity::Temperature, 23.4, 23.0, 0.5), t0.addSecs(1), first));
    store.append(record(reading(Quantity::Temperature, 22.2, 23.0, 0.5), t0.addSecs(2), first));
    store.append(record(reading(Quantity::Humidity, 50.6, 50.0, 1.0), t0.addSecs(3), first));
    // Not confirmed: the transmitter kept its address.
    store.append(record(ParameterWrite{Parameter::Address, 9, false}, t0.addSecs(4), first));
    store.append(record(ParameterWrite{Parameter::Address, 5, true}, t0.addSecs(5), first));
    store.append(
        record(Disconnect{EndedBy::PortLost, QStringLiteral("串口丢失")}, t0.addSecs(6), first));
    // A failed attempt between two units belongs to neither.
    Attempt failed = okAttempt(QStringLiteral("COM2"));
    failed.ok = false;
    store.append(record(failed, t0.addSecs(10)));
    const QUuid second = newId(t0.addSecs(20));
    Attempt noAddress = okAttempt(QStringLiteral("COM1"));
    noAddress.address.reset();
    store.append(record(noAddress, t0.addSecs(20), second));
    store.append(record(BatchRead{3, 9600, 0.0, 0.0, 0}, t0.addSecs(21), second));
    store.waitForWrites();

    QCOMPARE(store.unitCount({}), 2);
    const QVector<UnitSummary> units = store.units({}, 10);
    QCOMPARE(units.size(), 2);
    const UnitSummary &newest = units.at(0);
    const UnitSummary &oldest = units.at(1);
    QCOMPARE(newest.unit.id, second);
    QCOMPARE(newest.unit.address, std::optional<int>(3)); // learned from the batch read
    QVERIFY(!newest.unit.ended.isValid());
    QCOMPARE(newest.passed + newest.failed, 0);
    QCOMPARE(oldest.unit.id, first);
    QCOMPARE(oldest.unit.port, QStringLiteral("COM1"));
    QCOMPARE(oldest.unit.ident, okAttempt().ident);
    QCOMPARE(oldest.unit.started, t0);
    QCOMPARE(oldest.unit.ended, t0.addSecs(6));
    QCOMPARE(oldest.unit.endedBy, std::optional<EndedBy>(EndedBy::PortLost));
    QCOMPARE(oldest.unit.endReason, QStringLiteral("串口丢失"));
    QCOMPARE(oldest.unit.address, std::optional<int>(5));
    QCOMPARE(oldest.passed, 2);
    QCOMPARE(oldest.failed, 1);
    QVERIFY(oldest.worstTemperature);
    QCOMPARE(qRound(*oldest.worstTemperature * 10), -8); // 22.2 - 23.0 outweighs +0.4
    QCOMPARE(qRound(*oldest.worstHumidity * 10), 6);

    const QVector<Record> firstRecords = store.unitRecords(first);
    QCOMPARE(firstRecords.size(), 7);
    for (int i = 1; i < firstRecords.size(); ++i)
        QVERIFY(firstRecords.at(i - 1).time < firstRecords.at(i).time);
    QCOMPARE(store.unitRecords(second).size(), 2);
    QCOMPARE(store.recordCount(), 10);
}

// Values are REAL and INTEGER columns, so other programs can compute on them.
void RecordStoreTest::numbersAreStoredAsNumbers()
{
    {
        UnitStore store;
        QVERIFY(store.open(path));
        store.unitStarted(okAttempt());
        store.add(reading(Quantity::Temperature, 23.1, 23.0, 0.5));
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
    db.setDatabaseName(path);
    QVERIFY(db.open());
    {
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("SELECT typeof(value), typeof(reference), typeof(t), "
                                      "typeof(pass), value FROM records WHERE kind = 1")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("real"));
        QCOMPARE(q.value(1).toString(), QStringLiteral("real"));
        QCOMPARE(q.value(2).toString(), QStringLiteral("integer"));
        QCOMPARE(q.value(3).toString(), QStringLiteral("integer"));
        QCOMPARE(q.value(4).toDouble(), 23.1);
        QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
}

void RecordStoreTest::filters_data()
{
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("serial");

    // 12 units one day apart from t0; verdicts cycle passed, failed, unjudged.
    QTest::newRow("all") << QDateTime() << QDateTime() << Verdict::All << 12 << QString();
    QTest::newRow("passed") << QDateTime() << QDateTime() << Verdict::Passed << 4 << QString();
    QTest::newRow("failed") << QDateTime() << QDateTime() << Verdict::Failed << 4 << QString();
    QTest::newRow("unjudged") << QDateTime() << QDateTime() << Verdict::Unjudged << 4 << QString();
    QTest::newRow("from day 3") << t0.addDays(3) << QDateTime() << Verdict::All << 9 << QString();
    QTest::newRow("before day 3") << QDateTime() << t0.addDays(3) << Verdict::All << 3 << QString();
    QTest::newRow("days 3 to 6, failed")
        << t0.addDays(3) << t0.addDays(7) << Verdict::Failed << 1 << QString();
    QTest::newRow("local bounds") << t0.addDays(2).toOffsetFromUtc(8 * 3600)
                                  << t0.addDays(4).toOffsetFromUtc(8 * 3600) << Verdict::All << 2
                                  << QString();
    QTest::newRow("empty range") << t0.addDays(30) << t0.addDays(31) << Verdict::All << 0
                                 << QString();
    // Even days' units are SN-A, odd days' SN-B.
    QTest::newRow("one serial number")
        << QDateTime() << QDateTime() << Verdict::All << 6 << QStringLiteral("SN-B");
    QTest::newRow("a serial number, failed")
        << QDateTime() << QDateTime() << Verdict::Failed << 2 << QStringLiteral("SN-A");
    QTest::newRow("a serial number never given")
        << QDateTime() << QDateTime() << Verdict::All << 0 << QStringLiteral("SN-C");
}

void RecordStoreTest::filters()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(Verdict, verdict);
    QFETCH(int, expected);
    QFETCH(QString, serial);

    RecordStore store;
    QVERIFY(store.open(path));
    const Verdict cycle[] = {Verdict::Passed, Verdict::Failed, Verdict::Unjudged};
    for (int day = 0; day < 12; ++day)
        addUnit(store, t0.addDays(day), cycle[day % 3], QStringLiteral("COM3"),
                day % 2 ? QStringLiteral("SN-B") : QStringLiteral("SN-A"));
    store.waitForWrites();

    const UnitFilter filter{from, to, verdict, serial};
    QCOMPARE(store.unitCount(filter), expected);
    const QVector<UnitSummary> units = store.units(filter, 100);
    QCOMPARE(units.size(), expected);
    for (const UnitSummary &u : units) {
        QVERIFY(!from.isValid() || u.unit.started >= from);
        QVERIFY(!to.isValid() || u.unit.started < to);
        const int day = int(t0.daysTo(u.unit.started));
        QVERIFY(verdict == Verdict::All || cycle[day % 3] == verdict);
        QVERIFY(serial.isEmpty() || u.unit.serial == serial);
    }
}

// Several units share a start time: the page boundary must neither skip
// nor repeat any of them.
void RecordStoreTest::pagingVisitsEveryUnitOnce()
{
    RecordStore store;
    QVERIFY(store.open(path));
    QSet<QUuid> all;
    for (int i = 0; i < 23; ++i)
        all.insert(addUnit(store, t0.addSecs(60 * (i / 4)), Verdict::Passed));
    store.waitForWrites();

    QSet<QUuid> seen;
    QVector<UnitSummary> page = store.units({}, 5);
    QDateTime last = QDateTime::currentDateTimeUtc();
    int pages = 0;
    while (!page.isEmpty()) {
        ++pages;
        for (const UnitSummary &u : page) {
            QVERIFY(u.unit.started <= last);
            last = u.unit.started;
            QVERIFY2(!seen.contains(u.unit.id), "a unit came twice");
            seen.insert(u.unit.id);
        }
        const UnitSummary after = page.constLast();
        page = store.units({}, 5, &after);
    }
    QCOMPARE(pages, 5);
    QCOMPARE(seen, all);
}

void RecordStoreTest::unitRecordsInPages()
{
    UnitStore store;
    QVERIFY(store.open(path));
    const QUuid unit = store.unitStarted(okAttempt());
    for (int i = 0; i < 25; ++i)
        store.add(reading(Quantity::Temperature, 20 + i / 10.0, 22.0, 0.5));
    store.unitStarted(okAttempt(QStringLiteral("COM9"))); // records of another unit in between
    store.add(reading(Quantity::Humidity, 50, 50, 1));
    store.waitForWrites();

    QVector<Record> all;
    qint64 after = 0;
    for (;;) {
        const QVector<Record> page = store.unitRecords(unit, 10, after);
        if (page.isEmpty())
            break;
        all += page;
        after = page.constLast().seq;
    }
    QCOMPARE(all.size(), 26);
    QCOMPARE(all, store.unitRecords(unit));
}

void RecordStoreTest::localOffsetAsked_data()
{
    // Moments in ms after a quarter hour of UTC (12:00:00.000), and the
    // offsets they get; the clocks go forward an hour at 12:15.
    QTest::addColumn<QVector<qint64>>("moments");
    QTest::addColumn<QVector<int>>("offsets");
    QTest::addColumn<int>("asked");

    constexpr qint64 s = 1000, min = 60 * s;
    QTest::newRow("within a minute: asked once")
        << QVector<qint64>{0, 500, 59 * s} << QVector<int>{3600, 3600, 3600} << 1;
    QTest::newRow("each minute again")
        << QVector<qint64>{0, min, 2 * min + s} << QVector<int>{3600, 3600, 3600} << 3;
    QTest::newRow("the clocks change on the quarter hour")
        << QVector<qint64>{14 * min + 30 * s, 14 * min + 59 * s, 15 * min, 15 * min + 1}
        << QVector<int>{3600, 3600, 7200, 7200} << 2;
    QTest::newRow("a clock set back asks again")
        << QVector<qint64>{15 * min + 10 * s, 14 * min + 50 * s} << QVector<int>{7200, 3600} << 2;
}

// Stamping a record asks for the local offset at most once a minute, and
// a change of the clocks shows from its moment on.
void RecordStoreTest::localOffsetAsked()
{
    QFETCH(QVector<qint64>, moments);
    QFETCH(QVector<int>, offsets);
    QFETCH(int, asked);
    const qint64 noon = QDateTime(QDate(2026, 3, 29), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch();
    int asks = 0;
    LocalOffset offset([&](qint64 ms) {
        ++asks;
        return ms < noon + 15 * 60 * 1000 ? 3600 : 7200;
    });
    for (int i = 0; i < moments.size(); ++i)
        QCOMPARE(offset.at(noon + moments.at(i)), offsets.at(i));
    QCOMPARE(asks, asked);
}

QTEST_GUILESS_MAIN(RecordStoreTest)
#include "tst_records_store.moc"
