// What the tool adds to the log pane's menu, after the pane's own items:
// saving the log, and the records of a run against the simulator.

#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

#include "Dialogs.h"
#include "Rig.h"
#include "TestSupport.h"
#include "records/RecordStore.h"
#include "records/StationConfig.h"
#include "ui/CalibrationWindow.h"
#include "ui/RecordsWindow.h"
#include "ui/TrendWindow.h"

#include <QAreaSeries>
#include <QChart>
#include <QImage>
#include <QLineSeries>
#include <QScatterSeries>

namespace {

using movratest::form;
using movratest::ModalRecord;
using movratest::Rig;

QMenu *logMenu(MovraTestTool &w)
{
    return form(w).textEdit->findChild<QMenu *>();
}

QAction *item(MovraTestTool &w, const QString &text)
{
    const auto actions = logMenu(w)->actions();
    for (QAction *a : actions) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

QString cell(const QAbstractItemModel *m, int row, int column)
{
    return m->data(m->index(row, column)).toString();
}

// Every cell of a table, row by row, tab-separated.
QStringList rowsOf(const QAbstractItemModel *m)
{
    QStringList rows;
    for (int r = 0; r < m->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m->columnCount(); ++c)
            cells << cell(m, r, c);
        rows << cells.join(QLatin1Char('\t'));
    }
    return rows;
}

} // namespace

class TestToolsMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void itemsFollowThePanesOwn();
    void saveLog_data();
    void saveLog();
    void saveLogToAFolderThatIsNotThere();
    void recordsOfARunAgainstTheSimulator();
    void trendOfARunAgainstTheSimulator();
    void calibrationThroughItsWindow_data();
    void calibrationThroughItsWindow();
};

void TestToolsMenu::initTestCase()
{
    movratest::useOwnSettingsFolder();
}

void TestToolsMenu::cleanup()
{
    movratest::removeSettings();
}

void TestToolsMenu::itemsFollowThePanesOwn()
{
    auto w = movratest::makeWindow();
    QStringList texts;
    const auto actions = logMenu(*w)->actions();
    for (QAction *a : actions)
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    const QStringList expected{QStringLiteral("复制"),        QStringLiteral("-"),
                               QStringLiteral("选择全部"),    QStringLiteral("-"),
                               QStringLiteral("清除"),        QStringLiteral("-"),
                               QStringLiteral("保存日志…"),   QStringLiteral("测试记录…"),
                               QStringLiteral("趋势与统计…"), QStringLiteral("校准…")};
    QCOMPARE(texts, expected);
}

void TestToolsMenu::saveLog_data()
{
    QTest::addColumn<bool>("fromForm"); // the form's own 日志保存 action, or the menu item
    QTest::addColumn<bool>("accept");
    QTest::newRow("menu item") << false << true;
    QTest::newRow("the form's action") << true << true;
    QTest::newRow("cancelled") << false << false;
}

void TestToolsMenu::saveLog()
{
    QFETCH(bool, fromForm);
    QFETCH(bool, accept);
    auto w = movratest::makeWindow();
    QVERIFY(movratest::connectWithoutPort(*w));
    form(*w).manualReadButton->click();
    const QString shown = form(*w).textEdit->toPlainText();
    QVERIFY(shown.contains(QStringLiteral("设备连接成功")));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("日志.txt"));
    movratest::Dialogs dialogs;
    ModalRecord &answer = dialogs.expect(accept, path);
    if (fromForm)
        form(*w).action->trigger();
    else
        item(*w, QStringLiteral("保存日志…"))->trigger();

    QVERIFY(answer.seen);
    QCOMPARE(answer.title, QStringLiteral("保存日志"));
    // The proposed name carries the date and time.
    QVERIFY2(QRegularExpression(QStringLiteral("日志_\\d{8}_\\d{6}\\.txt$"))
                 .match(answer.label)
                 .hasMatch(),
             qPrintable(answer.label));
    QCOMPARE(dialogs.shown, 1); // no box after a good save
    QFile file(path);
    if (!accept) {
        QVERIFY(!file.exists());
        return;
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), shown + QLatin1Char('\n'));
}

void TestToolsMenu::saveLogToAFolderThatIsNotThere()
{
    auto w = movratest::makeWindow();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gone/log.txt"));
    movratest::Dialogs dialogs;
    dialogs.expect(true, path);
    ModalRecord &box = dialogs.expect();
    item(*w, QStringLiteral("保存日志…"))->trigger();
    QVERIFY(box.seen);
    QCOMPARE(box.title, QStringLiteral("保存日志"));
    QVERIFY(box.text.startsWith(QStringLiteral("日志未能保存：")));
    QVERIFY(!QFile::exists(path));
}

// A unit tested as an operator does: connect, write a correction and a
// station, read with the check on, disconnect. The records window shows the
// unit and its records, and its CSV holds them.
void TestToolsMenu::recordsOfARunAgainstTheSimulator()
{
    Rig rig;
    QVERIFY(rig.start());
    auto &ui = rig.ui();
    rig.model().setFixedTemperature(251);
    rig.model().setFixedHumidity(452);
    QVERIFY(rig.connectAt(9600));

    ui.TempOffset_2->setValue(-15);
    ui.readAddress_3->setValue(1);
    ui.checkBox_3->click(); // temperature correction, besides the station ticked by default
    ui.writeButton->click();
    QVERIFY(rig.ticksUntil([&] { return !rig.session().batchWriteActive(); }, 200) > 0);

    ui.checkBox_10->click();
    ui.BaseTemp->setText(QStringLiteral("23.5"));
    QTest::keyClick(ui.BaseTemp, Qt::Key_0); // typed, so the slot runs: 23.50
    ui.OffsetTemp->setText(QStringLiteral("0.5"));
    QTest::keyClick(ui.OffsetTemp, Qt::Key_End);
    QTest::keyClicks(ui.OffsetTemp, QStringLiteral("0"));
    QVERIFY(rig.manualRead());
    ui.disConnectButton->click();

    item(*rig.w, QStringLiteral("测试记录…"))->trigger();
    auto *records = rig.w->findChild<RecordsWindow *>();
    QVERIFY(records);
    QVERIFY(records->isVisible());
    QCOMPARE(records->windowTitle(), QStringLiteral("测试记录"));
    // The store writes on a thread of its own: the window shows it once committed.
    if (!QTest::qWaitFor(
            [&] {
                records->reload();
                return records->unitsView()->model()->rowCount() == 1 &&
                       (records->unitsView()->selectionModel()->select(
                            records->unitsView()->model()->index(0, 0),
                            QItemSelectionModel::SelectCurrent | QItemSelectionModel::Rows),
                        records->unitsView()->setCurrentIndex(
                            records->unitsView()->model()->index(0, 0)),
                        records->recordsView()->model()->rowCount() >= 5);
            },
            5000)) {
        qWarning() << "units" << rowsOf(records->unitsView()->model()) << "records"
                   << rowsOf(records->recordsView()->model()) << records->statusText();
        QFAIL("the records window never showed the unit and its records");
    }
    const QString unit = rowsOf(records->unitsView()->model()).value(0);
    QVERIFY2(unit.contains(rig.session().port().portName()) &&
                 unit.contains(QStringLiteral("KVT582")),
             qPrintable(unit));
    const QString all = rowsOf(records->recordsView()->model()).join(QLatin1Char('\n'));
    // Connection, the confirmed writes, the judged reading (25.1 with the
    // new correction of -1.5 reads 23.6: 0.1 from 23.5, within 0.5) and the
    // disconnect.
    for (const char *expected : {"9600", "-1.5", "23.6", "0.1"})
        QVERIFY2(all.contains(QString::fromUtf8(expected)), qPrintable(all));

    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("records.csv"));
    records->setSaveFileName(
        [&](QWidget *, const QString &, const QString &, const QString &) { return csv; });
    records->exportCsv();
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF")); // a spreadsheet on Windows reads it as UTF-8
    const QString text = QString::fromUtf8(bytes);
    for (const char *expected : {"-1.5", "23.6", "23.5", "0.5", "0.1", "KVT582"})
        QVERIFY2(text.contains(QString::fromUtf8(expected)), qPrintable(text));
}

namespace {
template <typename T> T *seriesNamed(QtCharts::QChart *chart, const QString &name)
{
    const auto all = chart->series();
    for (QtCharts::QAbstractSeries *s : all) {
        if (s->objectName() == name)
            return qobject_cast<T *>(s);
    }
    return nullptr;
}
} // namespace

// Readings taken before the trend window opens are in it, with the check's
// band and the readings outside it marked; the statistics are the engine's;
// both exports write their files.
void TestToolsMenu::trendOfARunAgainstTheSimulator()
{
    Rig rig;
    QVERIFY(rig.start());
    auto &ui = rig.ui();
    rig.model().setFixedTemperature(251);
    QVERIFY(rig.connectAt(9600));
    ui.checkBox_10->click();
    ui.BaseTemp->clear();
    QTest::keyClicks(ui.BaseTemp, QStringLiteral("25.0"));
    ui.OffsetTemp->clear();
    QTest::keyClicks(ui.OffsetTemp, QStringLiteral("0.5"));
    ui.readTempInterval->setValue(1);
    ui.checkBox_5->click();
    QVERIFY(rig.tick(500)); // five readings inside the band
    rig.model().setFixedTemperature(262);
    QVERIFY(rig.tick(300)); // three outside it

    item(*rig.w, QStringLiteral("趋势与统计…"))->trigger();
    auto *trend = rig.w->findChild<TrendWindow *>();
    QVERIFY(trend);
    QVERIFY(trend->isVisible());
    QCOMPARE(trend->windowTitle(), QStringLiteral("趋势与统计"));
    auto *line = seriesNamed<QtCharts::QLineSeries>(trend->chart(), QStringLiteral("temperature"));
    auto *band =
        seriesNamed<QtCharts::QAreaSeries>(trend->chart(), QStringLiteral("temperatureBand"));
    auto *outside =
        seriesNamed<QtCharts::QScatterSeries>(trend->chart(), QStringLiteral("temperatureOutside"));
    QVERIFY(line && band && outside);
    // Seconds of readings in an hour's span: decimation keeps each pixel's
    // lowest and highest, so both levels are drawn.
    const auto drawn = [&](double y) {
        const auto points = line->points();
        return std::any_of(points.begin(), points.end(),
                           [y](const QPointF &p) { return qAbs(p.y() - y) < 1e-4; });
    };
    QVERIFY(QTest::qWaitFor([&] { return drawn(25.1) && drawn(26.2); }, 3000));
    QVERIFY(band->isVisible());
    QCOMPARE(band->upperSeries()->at(0).y(), 25.5);
    QCOMPARE(band->lowerSeries()->at(0).y(), 24.5);
    QVERIFY(outside->count() >= 1);
    for (const QPointF &p : outside->points())
        QVERIFY(qAbs(p.y() - 26.2) < 1e-4); // kept as float: a day of readings stays small

    QTemporaryDir dir;
    trend->setFileNameProvider([&](QWidget *, const QString &, const QString &suggested,
                                   const QString &) {
        return dir.filePath(suggested.endsWith(QLatin1String(".png")) ? QStringLiteral("t.png")
                                                                      : QStringLiteral("t.csv"));
    });
    trend->findChild<QAbstractButton *>(QStringLiteral("exportPng"))->click();
    trend->findChild<QAbstractButton *>(QStringLiteral("exportCsv"))->click();
    const QImage png(dir.filePath(QStringLiteral("t.png")));
    QVERIFY(!png.isNull());
    QVERIFY(png.width() > 400 && png.height() > 200);
    QFile csv(dir.filePath(QStringLiteral("t.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(bytes.count("温度(℃),25.1\r\n"), 5);
    QCOMPARE(bytes.count("温度(℃),26.2\r\n"), 3);
}

void TestToolsMenu::calibrationThroughItsWindow_data()
{
    QTest::addColumn<int>("rawHumidity");
    QTest::addColumn<QString>("due");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("rows"); // the results table, row by row

    QTest::newRow("calibrated") << 440 << "2099-12-31"
                                << "校准完成：合格"
                                << QStringList{"24.80 ℃\t0.0 → 0.2\t已写入\t25.00 ℃\t合格",
                                               "44.00 %RH\t0.0 → 1.0\t已写入\t45.00 %RH\t合格"};
    QTest::newRow("humidity beyond the range")
        << 300 << "2099-12-31"
        << "不合格：修正超出 -10.0…10.0，未写入"
        << QStringList{"24.80 ℃\t0.0 → 0.2\t\t\t不合格",
                       "30.00 %RH\t0.0 → 15.0\t超出范围\t\t不合格"};
    QTest::newRow("expired reference")
        << 440 << "2020-01-31"
        << "参考仪器已过期（有效期 2020-01-31），未开始校准" << QStringList{"\t\t\t\t", "\t\t\t\t"};
}

void TestToolsMenu::calibrationThroughItsWindow()
{
    QFETCH(int, rawHumidity);
    QFETCH(QString, due);
    QFETCH(QString, status);
    QFETCH(QStringList, rows);

    Rig rig;
    QVERIFY(rig.start());
    auto &ui = rig.ui();
    rig.model().setFixedTemperature(248);
    rig.model().setFixedHumidity(quint16(rawHumidity));
    QVERIFY(rig.connectAt(9600));
    ui.checkBox_5->click(); // periodic temperature: paused while calibrating

    item(*rig.w, QStringLiteral("校准…"))->trigger();
    auto *dialog = rig.w->findChild<CalibrationWindow *>();
    QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    QVERIFY(dialog->startButton()->isEnabled());
    dialog->findChild<QDateEdit *>()->setDate(QDate::fromString(due, Qt::ISODate));
    const auto spins = dialog->findChildren<QDoubleSpinBox *>();
    spins.at(0)->setValue(25.0);                           // temperature reference
    spins.at(2)->setValue(45.0);                           // humidity reference
    dialog->findChildren<QSpinBox *>().at(1)->setValue(0); // no stability wait
    QTest::keyClicks(dialog->findChild<QLineEdit *>(), QStringLiteral("SN-9"));
    QTest::mouseClick(dialog->startButton(), Qt::LeftButton);
    QCOMPARE(dialog->isRunning(), due.startsWith(QLatin1String("2099")));
    if (dialog->isRunning()) {
        QVERIFY(!dialog->startButton()->isEnabled());
        QVERIFY(!rig.session().periodicReading(movra::Quantity::Temperature));
    }
    QVERIFY(rig.ticksUntil([&] { return !dialog->isRunning(); }, 2000) > 0);
    QCOMPARE(dialog->statusText(), status);
    QCOMPARE(rowsOf(dialog->resultsView()->model()), rows);
    QCOMPARE(dialog->trace().serial, QStringLiteral("SN-9"));
    QVERIFY(rig.session().periodicReading(movra::Quantity::Temperature));
    QVERIFY(dialog->startButton()->isEnabled());
    // The described fields show what the device now holds.
    const bool written = status == QStringLiteral("校准完成：合格");
    QCOMPARE(ui.tempOffset_1->value(), written ? 2 : 0);
    QCOMPARE(ui.humiOffset_1->value(), written ? 10 : 0);
    QCOMPARE(int(rig.model().temperatureCorrection()), written ? 2 : 0);

    ui.disConnectButton->click();
    QVERIFY(rig.tick(2));
    QVERIFY(!dialog->startButton()->isEnabled());
    // Recorded as movra records it, under the serial number typed in.
    int calibrations = -1;
    const auto recorded = [&] {
        movra::records::RecordStore store;
        calibrations = 0;
        return store.openReadOnly(movra::config::recordsPath(movratest::settingsFile())) &&
               store.forEachRecord({}, {}, [&](const movra::records::Record &r) {
                   calibrations += r.kind() == movra::records::Kind::Calibration &&
                                   r.trace.serial == QLatin1String("SN-9");
                   return true;
               });
    };
    const int expected = due.startsWith(QLatin1String("2099")) ? 2 : 0;
    QVERIFY(QTest::qWaitFor([&] { return recorded() && calibrations == expected; }, 5000));
}

QTEST_MAIN(TestToolsMenu)
#include "tst_toolsmenu.moc"
