#include "RecordsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

#include "RecordsModels.h"
#include "records/RecordStore.h"

using namespace movra::records;

namespace {

QTableView *table(QAbstractItemModel *model, QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAlternatingRowColors(true);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 8);
    view->horizontalHeader()->setStretchLastSection(true);
    view->horizontalHeader()->setHighlightSections(false);
    return view;
}

} // namespace

RecordsWindow::RecordsWindow(RecordStore *store, QWidget *parent)
    : QWidget(parent, Qt::Window), store(store), unitsModel(new UnitsModel(store, this)),
      recordsModel(new UnitRecordsModel(store, this))
{
    setWindowTitle(tr("测试记录"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    askFileName = [](QWidget *parent, const QString &caption, const QString &proposed,
                     const QString &filter) {
        return QFileDialog::getSaveFileName(parent, caption, proposed, filter);
    };

    auto *layout = new QVBoxLayout(this);
    auto *filterRow = new QWidget(this);
    buildFilterRow(filterRow);
    layout->addWidget(filterRow);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    units = table(unitsModel, splitter);
    auto *lower = new QWidget(splitter);
    auto *lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(new QLabel(tr("所选单元的记录："), lower));
    records = table(recordsModel, lower);
    lowerLayout->addWidget(records);
    splitter->addWidget(units);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    layout->addWidget(splitter, 1);

    status = new QLabel(this);
    layout->addWidget(status);

    connect(units->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &RecordsWindow::showSelectedUnit);
    connect(unitsModel, &QAbstractItemModel::modelReset, this, &RecordsWindow::showSelectedUnit);
    resize(1040, 640);
    reload();
}

void RecordsWindow::buildFilterRow(QWidget *into)
{
    auto *row = new QHBoxLayout(into);
    row->setContentsMargins(0, 0, 0, 0);
    byDate = new QCheckBox(tr("日期"), into);
    from = new QDateEdit(QDate::currentDate().addDays(-7), into);
    to = new QDateEdit(QDate::currentDate(), into);
    for (QDateEdit *edit : {from, to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        edit->setEnabled(false);
    }
    verdict = new QComboBox(into);
    verdict->addItem(tr("全部"), int(Verdict::All));
    verdict->addItem(tr("合格"), int(Verdict::Passed));
    verdict->addItem(tr("不合格"), int(Verdict::Failed));
    verdict->addItem(tr("未判定"), int(Verdict::Unjudged));
    serial = new QLineEdit(into);
    serial->setPlaceholderText(tr("序列号"));
    auto *refresh = new QPushButton(tr("刷新"), into);
    exportButton = new QPushButton(tr("导出 CSV…"), into);

    row->addWidget(byDate);
    row->addWidget(from);
    row->addWidget(new QLabel(tr("至"), into));
    row->addWidget(to);
    row->addSpacing(16);
    row->addWidget(new QLabel(tr("判定"), into));
    row->addWidget(verdict);
    row->addSpacing(16);
    row->addWidget(new QLabel(tr("序列号"), into));
    row->addWidget(serial);
    row->addStretch(1);
    row->addWidget(refresh);
    row->addWidget(exportButton);

    connect(byDate, &QCheckBox::toggled, this, [this](bool on) {
        from->setEnabled(on);
        to->setEnabled(on);
        reload();
    });
    connect(from, &QDateEdit::dateChanged, this, &RecordsWindow::reload);
    connect(to, &QDateEdit::dateChanged, this, &RecordsWindow::reload);
    connect(verdict, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &RecordsWindow::reload);
    connect(refresh, &QPushButton::clicked, this, &RecordsWindow::reload);
    connect(serial, &QLineEdit::returnPressed, this, &RecordsWindow::reload);
    connect(serial, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text.isEmpty())
            reload();
    });
    connect(exportButton, &QPushButton::clicked, this, &RecordsWindow::exportCsv);
}

// Whole days in local time, both ends included.
UnitFilter RecordsWindow::filter() const
{
    UnitFilter f;
    f.verdict = Verdict(verdict->currentData().toInt());
    // A serial number asks for the unit's whole history, whatever the dates.
    f.serial = serial->text().trimmed();
    if (byDate->isChecked() && f.serial.isEmpty()) {
        f.from = QDateTime(from->date(), QTime(0, 0));
        f.to = QDateTime(to->date().addDays(1), QTime(0, 0));
    }
    return f;
}

void RecordsWindow::reload()
{
    // Records may still wait to share a commit; the operator sees them all.
    store->waitForWrites();
    lastExport.clear();
    unitsModel->setFilter(filter());
    // The worst deviations too: elided, they would hide the figure that matters.
    for (int c = 0; c < UnitsModel::ColumnCount; ++c)
        units->resizeColumnToContents(c);
    if (unitsModel->rowCount() > 0)
        units->selectRow(0);
    updateStatus();
}

void RecordsWindow::showSelectedUnit()
{
    const UnitSummary *unit = unitsModel->rowAt(units->currentIndex().row());
    recordsModel->setUnit(unit ? unit->unit.id : QUuid());
    for (int c = 0; c < UnitRecordsModel::What; ++c)
        records->resizeColumnToContents(c);
}

void RecordsWindow::updateStatus()
{
    QString text = tr("共 %1 个单元").arg(unitsModel->total());
    if (store->currentProblem() != Problem::None)
        text += QStringLiteral("　") + store->problemText();
    if (!lastExport.isEmpty())
        text += QStringLiteral("　") + lastExport;
    status->setText(text);
}

QString RecordsWindow::statusText() const
{
    return status->text();
}

void RecordsWindow::exportCsv()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString proposed = QDir(folder).filePath(
        tr("测试记录_%1.csv")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"))));
    const QString path = askFileName(this, tr("导出 CSV"), proposed, tr("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    const UnitFilter f = filter();
    store->waitForWrites();
    // Written beside and renamed at the end: a failed export leaves no
    // half file under the chosen name.
    QSaveFile file(path);
    const bool ok =
        file.open(QIODevice::WriteOnly) && store->exportUnits(f, &file) && file.commit();
    const QString why =
        file.error() != QFileDevice::NoError ? file.errorString() : store->problemText();
    lastExport =
        ok ? tr("已导出到 %1").arg(QDir::toNativeSeparators(path)) : tr("导出失败：%1").arg(why);
    updateStatus();
}
