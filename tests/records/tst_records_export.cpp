// Export of the store: CSV as a spreadsheet on Windows reads it (byte-order
// mark, Chinese headers, RFC 4180 quoting, CRLF) and JSON, one object a line.

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "RecordsTestSupport.h"
#include "records/Csv.h"
#include "records/RecordExport.h"
#include "records/RecordStore.h"

using namespace records_test;

Q_DECLARE_METATYPE(movra::records::Verdict)

namespace {

const QDateTime t0 = QDateTime(QDate(2024, 5, 6), QTime(8, 0), Qt::UTC);

// Reads RFC 4180 text back into rows, so that the test checks what a
// spreadsheet would see rather than the exact bytes.
QVector<QStringList> parseCsv(const QByteArray &bytes)
{
    QVector<QStringList> rows;
    QStringList row;
    QByteArray field;
    bool quoted = false;
    for (int i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (quoted) {
            if (c == '"' && i + 1 < bytes.size() && bytes.at(i + 1) == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << QString::fromUtf8(field);
            field.clear();
        } else if (c == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n') {
            row << QString::fromUtf8(field);
            field.clear();
            rows << row;
            row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return rows;
}

} // namespace

class ExportTest : public StoreFileTest
{
    Q_OBJECT

private slots:
    void exportCsv();
    void exportJsonLines();
    void exportRange_data();
    void exportRange();
    void csvField_data();
    void csvField();
};

void ExportTest::exportCsv()
{
    RecordStore store;
    QVERIFY(store.open(path));
    const QUuid unit = newId(t0);
    Attempt tricky = okAttempt();
    tricky.ident = QStringLiteral("KVT582, \"rev B\"\r\n第二行");
    store.append(record(tricky, t0, unit));
    store.append(record(reading(Quantity::Humidity, 51.5, 50.0, 1.0), t0.addSecs(1), unit));
    store.append(
        record(ParameterWrite{Parameter::TempCorrection, -0.3, true}, t0.addSecs(2), unit));
    Record calibrated =
        record(Calibration{Quantity::Temperature, 25, 0.2, 24.75, 0.1, 0.4, 25.02, 5, true, true},
               t0.addSecs(3), unit);
    calibrated.trace = {"SN-1", "李工", "REF-7", QDate(2020, 1, 31), true};
    store.append(calibrated);
    store.waitForWrites();

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(store.exportUnits({}, &out));
    const QByteArray bytes = out.data();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(bytes.endsWith("\r\n"));
    // Line ends are CRLF outside quotes; the only bare LF is the one quoted.
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));

    const QVector<QStringList> rows = parseCsv(bytes.mid(3));
    QCOMPARE(rows.size(), 5);
    const QStringList headers = rows.at(0);
    QVERIFY(headers.contains(QStringLiteral("工位")));
    QVERIFY(headers.contains(QStringLiteral("偏差")));
    for (const QStringList &row : rows)
        QCOMPARE(row.size(), headers.size());
    auto at = [&](int row, const char *header) {
        return rows.at(row).at(headers.indexOf(QString::fromUtf8(header)));
    };
    QCOMPARE(at(1, "识别信息"), tricky.ident);
    QCOMPARE(at(1, "类型"), QStringLiteral("连接"));
    QCOMPARE(at(1, "本地时间"), QStringLiteral("2024-05-06 16:00:00.000"));
    QCOMPARE(at(1, "工位"), QStringLiteral("装配线3号工位"));
    QCOMPARE(at(2, "量"), QStringLiteral("湿度"));
    QCOMPARE(at(2, "数值"), QStringLiteral("51.5"));
    QCOMPARE(at(2, "偏差"), QStringLiteral("1.5"));
    QCOMPARE(at(2, "判定"), QStringLiteral("不合格"));
    QCOMPARE(at(3, "参数"), QStringLiteral("温度修正"));
    QCOMPARE(at(3, "数值"), QStringLiteral("-0.3"));
    QCOMPARE(at(3, "单元ID"), unit.toString(QUuid::WithoutBraces));
    QCOMPARE(
        QStringList({at(4, "类型"), at(4, "校准前读数"), at(4, "原修正"), at(4, "新修正"),
                     at(4, "校准后读数"), at(4, "判定"), at(4, "操作员"), at(4, "参考仪器有效期"),
                     at(4, "参考仪器已过期")}),
        QStringList({"校准", "24.75", "0.1", "0.4", "25.02", "合格", "李工", "2020-01-31", "是"}));
}

void ExportTest::exportJsonLines()
{
    RecordStore store;
    QVERIFY(store.open(path));
    addUnit(store, t0, Verdict::Failed);
    store.waitForWrites();
    QStringList kinds;
    QVector<QJsonObject> objects;
    QVERIFY(store.forEachRecord({}, {}, [&](const Record &r) {
        objects << toJson(r);
        kinds << objects.constLast().value("kind").toString();
        return true;
    }));
    QCOMPARE(kinds, QStringList({"attempt", "reading", "reading", "disconnect"}));
    const QJsonObject humidity = objects.at(2);
    QCOMPARE(humidity.value("deviation").toDouble(), 2.0);
    QCOMPARE(humidity.value("quantity").toString(), QStringLiteral("humidity"));
    QVERIFY(humidity.value("value").isDouble());
    QCOMPARE(humidity.value("value").toDouble(), 52.0);
    QCOMPARE(humidity.value("pass").toBool(true), false);
    QCOMPARE(humidity.value("time").toString(), QStringLiteral("2024-05-06T08:00:02.000Z"));
    QCOMPARE(humidity.value("utc_offset").toInt(), 8 * 3600);
}

void ExportTest::exportRange_data()
{
    QTest::addColumn<QDateTime>("since");
    QTest::addColumn<QDateTime>("until");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<int>("lines");

    // Units on days 0..3 (passed, failed, unjudged, passed), 3 + 4 + 2 + 3
    // records, and a failed attempt on day 5, which is no unit's.
    QTest::newRow("everything") << QDateTime() << QDateTime() << Verdict::All << 12;
    QTest::newRow("until is exclusive") << QDateTime() << t0.addDays(1) << Verdict::All << 3;
    QTest::newRow("since is inclusive") << t0.addDays(3) << QDateTime() << Verdict::All << 3;
    QTest::newRow("a unit by its start, with all its records")
        << QDateTime() << t0.addSecs(1) << Verdict::All << 3;
    QTest::newRow("passed units only") << QDateTime() << QDateTime() << Verdict::Passed << 6;
    QTest::newRow("failed units only") << QDateTime() << QDateTime() << Verdict::Failed << 4;
    QTest::newRow("unjudged, day 2") << t0.addDays(2) << t0.addDays(3) << Verdict::Unjudged << 2;
}

void ExportTest::exportRange()
{
    QFETCH(QDateTime, since);
    QFETCH(QDateTime, until);
    QFETCH(Verdict, verdict);
    QFETCH(int, lines);

    RecordStore store;
    QVERIFY(store.open(path));
    const Verdict days[] = {Verdict::Passed, Verdict::Failed, Verdict::Unjudged, Verdict::Passed};
    for (int day = 0; day < 4; ++day)
        addUnit(store, t0.addDays(day), days[day]);
    Attempt failed = okAttempt();
    failed.ok = false;
    store.append(record(failed, t0.addDays(5)));
    store.waitForWrites();

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(store.exportUnits(UnitFilter{since, until, verdict, QString()}, &out));
    QCOMPARE(out.data().count('\n'), lines + 1);
}

void ExportTest::csvField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("field");

    QTest::newRow("plain") << QStringLiteral("23.5") << QByteArray("23.5");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("chinese") << QStringLiteral("温度") << QByteArray("\xE6\xB8\xA9\xE5\xBA\xA6");
    QTest::newRow("comma") << QStringLiteral("a,b") << QByteArray("\"a,b\"");
    QTest::newRow("quote") << QStringLiteral("say \"hi\"") << QByteArray("\"say \"\"hi\"\"\"");
    QTest::newRow("line feed") << QStringLiteral("a\nb") << QByteArray("\"a\nb\"");
    QTest::newRow("carriage return") << QStringLiteral("a\rb") << QByteArray("\"a\rb\"");
    QTest::newRow("spaces kept") << QStringLiteral(" a ") << QByteArray(" a ");
}

void ExportTest::csvField()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, field);
    QCOMPARE(movra::csv::field(text), field);
    QCOMPARE(movra::csv::row({text, text}), field + ',' + field + "\r\n");
}

QTEST_GUILESS_MAIN(ExportTest)
#include "tst_records_export.moc"
