// The records window offscreen, filled from a real store: the units, the
// filters, the records of the selected unit, loading page by page, and the
// CSV export through an answer given in place of the save dialog.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "RecordsTestSupport.h"
#include "records/RecordStore.h"
#include "ui/RecordsModels.h"
#include "ui/RecordsWindow.h"

using namespace records_test;

namespace {

QString cell(QTableView *view, int row, int column)
{
    return view->model()->index(row, column).data().toString();
}

template <typename T> T *child(QWidget *window, const QString &text = QString())
{
    for (T *w : window->findChildren<T *>()) {
        if (text.isEmpty() || w->property("text").toString() == text)
            return w;
    }
    return nullptr;
}

} // namespace

class RecordsWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void showsTheUnits();
    void filtersByVerdict_data();
    void filtersByVerdict();
    void filtersByDate();
    void selectedUnitShowsItsRecords();
    void exportsWhatTheFilterShows();
    void cancelledExportWritesNothing();
    void loadsPageByPage();
    void screenshot();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<RecordStore> store;
    QDateTime today;
};

void RecordsWindowTest::initTestCase()
{
    isolate();
    today = QDateTime(QDate::currentDate(), QTime(9, 0)).toUTC();
}

// Three units this morning (passed, failed, unjudged) and one ten days ago.
void RecordsWindowTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    store = std::make_unique<RecordStore>();
    QVERIFY(store->open(dir->filePath(QStringLiteral("records.sqlite"))));
    const auto unit = [&](const QDateTime &at, const QString &port, QVector<Reading> readings) {
        const QUuid id = newId(at);
        Record opened = record(okAttempt(port), at, id);
        // The same unit came back ten days later; COM3's had no label.
        opened.trace.serial = port == QLatin1String("COM2")   ? QStringLiteral("SN-2")
                              : port == QLatin1String("COM3") ? QString()
                                                              : QStringLiteral("SN-1");
        store->append(opened);
        store->append(record(ParameterWrite{Parameter::Address, 1, true}, at.addSecs(1), id));
        int s = 2;
        for (const Reading &r : readings)
            store->append(record(r, at.addSecs(s++), id));
        store->append(record(Disconnect{EndedBy::Operator, {}}, at.addSecs(s), id));
    };
    unit(today.addDays(-10), QStringLiteral("COM9"), {reading(Quantity::Temperature, 20, 20, 1)});
    unit(today, QStringLiteral("COM1"),
         {reading(Quantity::Temperature, 23.1, 23, 0.5), reading(Quantity::Humidity, 50.4, 50, 1)});
    unit(today.addSecs(600), QStringLiteral("COM2"),
         {reading(Quantity::Temperature, 23.1, 23, 0.5), reading(Quantity::Humidity, 52.5, 50, 1)});
    unit(today.addSecs(1200), QStringLiteral("COM3"), {});
    store->waitForWrites();
}

void RecordsWindowTest::cleanup()
{
    store.reset();
}

void RecordsWindowTest::showsTheUnits()
{
    RecordsWindow window(store.get());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("测试记录"));
    QCOMPARE(window.windowModality(), Qt::NonModal);
    QVERIFY(window.isWindow());
    QTableView *units = window.unitsView();
    QCOMPARE(units->model()->rowCount(), 4);
    QStringList headers;
    for (int c = 0; c < units->model()->columnCount(); ++c)
        headers << units->model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"时间", "工位", "序列号", "串口", "地址", "识别信息", "判定",
                                   "最大偏差"}));
    // Newest first, in the station's local time.
    QCOMPARE(cell(units, 0, UnitsModel::Port), QStringLiteral("COM3"));
    QCOMPARE(cell(units, 0, UnitsModel::Time),
             today.addSecs(1200).toOffsetFromUtc(8 * 3600).toString("yyyy-MM-dd HH:mm:ss"));
    QCOMPARE(cell(units, 0, UnitsModel::Verdicts), QStringLiteral("未判定"));
    QCOMPARE(cell(units, 1, UnitsModel::Verdicts), QStringLiteral("合格 1 / 不合格 1"));
    QCOMPARE(cell(units, 1, UnitsModel::Worst), QStringLiteral("温度 +0.1 ℃，湿度 +2.5 %RH"));
    QCOMPARE(units->model()->index(1, UnitsModel::Worst).data(Qt::ToolTipRole).toString(),
             cell(units, 1, UnitsModel::Worst));
    QCOMPARE(cell(units, 1, UnitsModel::Address), QStringLiteral("1"));
    QCOMPARE(cell(units, 1, UnitsModel::Station), QStringLiteral("装配线3号工位"));
    QCOMPARE(cell(units, 1, UnitsModel::Ident), okAttempt().ident);
    QVERIFY(window.statusText().contains(QStringLiteral("共 4 个单元")));
}

void RecordsWindowTest::filtersByVerdict_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("serial"); // typed into the search, then Enter
    QTest::addColumn<QStringList>("ports");
    QTest::newRow("all") << "全部"
                         << "" << QStringList({"COM3", "COM2", "COM1", "COM9"});
    QTest::newRow("passed") << "合格"
                            << "" << QStringList({"COM1", "COM9"});
    QTest::newRow("failed") << "不合格"
                            << "" << QStringList({"COM2"});
    QTest::newRow("unjudged") << "未判定"
                              << "" << QStringList({"COM3"});
    // A serial number: the unit's whole history, newest first, dates aside.
    QTest::newRow("one unit's history") << "全部"
                                        << "SN-1" << QStringList({"COM1", "COM9"});
    QTest::newRow("a serial number never given") << "全部"
                                                 << "SN-7" << QStringList();
}

void RecordsWindowTest::filtersByVerdict()
{
    QFETCH(QString, choice);
    QFETCH(QString, serial);
    QFETCH(QStringList, ports);
    RecordsWindow window(store.get());
    auto *verdict = child<QComboBox>(&window);
    QVERIFY(verdict);
    verdict->setCurrentText(choice);
    if (!serial.isEmpty()) {
        child<QCheckBox>(&window)->setChecked(true); // today only, unless searching
        QLineEdit *search = nullptr;
        for (QLineEdit *e : window.findChildren<QLineEdit *>()) {
            if (e->placeholderText() == QStringLiteral("序列号"))
                search = e;
        }
        QVERIFY(search);
        QTest::keyClicks(search, serial);
        QTest::keyClick(search, Qt::Key_Return);
    }
    QStringList shown;
    for (int r = 0; r < window.unitsView()->model()->rowCount(); ++r) {
        shown << cell(window.unitsView(), r, UnitsModel::Port);
        if (!serial.isEmpty())
            QCOMPARE(cell(window.unitsView(), r, UnitsModel::Serial), serial);
    }
    QCOMPARE(shown, ports);
}

void RecordsWindowTest::filtersByDate()
{
    RecordsWindow window(store.get());
    auto *byDate = child<QCheckBox>(&window, QStringLiteral("日期"));
    QVERIFY(byDate);
    const QList<QDateEdit *> edits = window.findChildren<QDateEdit *>();
    QCOMPARE(edits.size(), 2);
    const QDate localToday = today.toLocalTime().date();
    edits.at(0)->setDate(localToday);
    edits.at(1)->setDate(localToday);
    QCOMPARE(window.unitsView()->model()->rowCount(), 4); // not applied until ticked
    byDate->setChecked(true);
    QCOMPARE(window.unitsView()->model()->rowCount(), 3);
    edits.at(0)->setDate(localToday.addDays(-10));
    edits.at(1)->setDate(localToday.addDays(-10));
    QCOMPARE(window.unitsView()->model()->rowCount(), 1);
    QCOMPARE(cell(window.unitsView(), 0, UnitsModel::Port), QStringLiteral("COM9"));
    QVERIFY(window.statusText().contains(QStringLiteral("共 1 个单元")));
}

void RecordsWindowTest::selectedUnitShowsItsRecords()
{
    RecordsWindow window(store.get());
    window.show();
    QTableView *units = window.unitsView();
    QTableView *records = window.recordsView();
    QCOMPARE(records->model()->rowCount(), 3); // the newest unit is selected
    units->selectRow(1);
    QCOMPARE(records->model()->rowCount(), 5);
    QCOMPARE(cell(records, 0, UnitRecordsModel::Kind), QStringLiteral("连接"));
    QCOMPARE(cell(records, 1, UnitRecordsModel::What), QStringLiteral("写入设备地址 1：已确认"));
    QCOMPARE(cell(records, 3, UnitRecordsModel::What),
             QStringLiteral("湿度 52.5 %RH，参考 50.0 ± 1.0，偏差 +2.5"));
    QCOMPARE(cell(records, 3, UnitRecordsModel::Verdict), QStringLiteral("不合格"));
    QCOMPARE(cell(records, 4, UnitRecordsModel::Kind), QStringLiteral("断开"));
    units->selectRow(3);
    QCOMPARE(records->model()->rowCount(), 4);
    QVERIFY(cell(records, 0, UnitRecordsModel::What).contains(QStringLiteral("COM9")));
}

void RecordsWindowTest::exportsWhatTheFilterShows()
{
    RecordsWindow window(store.get());
    const QString target = dir->filePath(QStringLiteral("导出.csv"));
    QString asked;
    window.setSaveFileName(
        [&](QWidget *, const QString &caption, const QString &proposed, const QString &) {
            asked = proposed;
            Q_UNUSED(caption);
            return target;
        });
    child<QComboBox>(&window)->setCurrentText(QStringLiteral("不合格"));
    auto *button = child<QPushButton>(&window, QStringLiteral("导出 CSV…"));
    QVERIFY(button);
    button->click();
    QVERIFY(asked.endsWith(QStringLiteral(".csv")));
    QVERIFY(asked.contains(QStringLiteral("测试记录_")));
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(bytes.contains(QStringLiteral("工位").toUtf8()));
    QCOMPARE(bytes.count("\r\n"), 1 + 5); // header and the failed unit's records
    QVERIFY(bytes.contains("COM2"));
    QVERIFY(!bytes.contains("COM1"));
    QVERIFY(window.statusText().contains(QStringLiteral("已导出到")));
}

void RecordsWindowTest::cancelledExportWritesNothing()
{
    RecordsWindow window(store.get());
    int asked = 0;
    window.setSaveFileName([&](QWidget *, const QString &, const QString &, const QString &) {
        ++asked;
        return QString();
    });
    window.exportCsv();
    QCOMPARE(asked, 1);
    QVERIFY(QDir(dir->path()).entryList({QStringLiteral("*.csv")}).isEmpty());
    QVERIFY(!window.statusText().contains(QStringLiteral("导出")));
}

void RecordsWindowTest::loadsPageByPage()
{
    const int extra = 2 * UnitsModel::pageSize + 50;
    for (int i = 0; i < extra; ++i)
        store->append(record(okAttempt(), today.addDays(-20).addSecs(i), newId()));
    store->waitForWrites();
    RecordsWindow window(store.get());
    QAbstractItemModel *model = window.unitsView()->model();
    QCOMPARE(model->rowCount(), UnitsModel::pageSize);
    QVERIFY(window.statusText().contains(QStringLiteral("共 %1 个单元").arg(extra + 4)));
    while (model->canFetchMore(QModelIndex()))
        model->fetchMore(QModelIndex());
    QCOMPARE(model->rowCount(), extra + 4);
}

// Also saved as a PNG when MOVRA_RECORDS_WINDOW_PNG names a file, to look at.
void RecordsWindowTest::screenshot()
{
    RecordsWindow window(store.get());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.unitsView()->selectRow(1);
    const QImage image = window.grab().toImage();
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), window.size() * window.devicePixelRatioF());
    // No column sized to its contents is narrower than its header.
    QHeaderView *header = window.unitsView()->horizontalHeader();
    for (int c = 0; c < UnitsModel::Worst; ++c) {
        const QString title = window.unitsView()->model()->headerData(c, Qt::Horizontal).toString();
        QVERIFY2(header->sectionSize(c) >= header->fontMetrics().horizontalAdvance(title),
                 qPrintable(title));
    }
    // Nor is the worst deviation elided.
    QTableView *units = window.unitsView();
    for (int row = 0; row < units->model()->rowCount(); ++row) {
        const QModelIndex worst = units->model()->index(row, UnitsModel::Worst);
        QVERIFY(header->sectionSize(UnitsModel::Worst) >= units->sizeHintForIndex(worst).width());
    }
    // The description of a record gets the rest of the width.
    QTableView *records = window.recordsView();
    QCOMPARE(records->horizontalHeader()->sectionSize(UnitRecordsModel::What) +
                 records->horizontalHeader()->sectionPosition(UnitRecordsModel::What),
             records->viewport()->width());
    const QString path = qEnvironmentVariable("MOVRA_RECORDS_WINDOW_PNG");
    if (!path.isEmpty())
        QVERIFY(image.save(path));
}

QTEST_MAIN(RecordsWindowTest)
#include "tst_records_window.moc"
