#pragma once

// "测试记录": the units tested, filtered by date and verdict, the records of
// the selected one, and an export of what the filter shows to CSV. Not
// modal; reads the store on the thread it lives on.

#include <QWidget>
#include <functional>

#include "records/Record.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class UnitRecordsModel;
class UnitsModel;

namespace movra::records {
class RecordStore;
}

class RecordsWindow : public QWidget
{
    Q_OBJECT
public:
    // Asks where to save; an empty answer cancels. The default is
    // QFileDialog::getSaveFileName.
    using SaveFileName = std::function<QString(QWidget *parent, const QString &caption,
                                               const QString &proposed, const QString &filter)>;

    explicit RecordsWindow(movra::records::RecordStore *store, QWidget *parent = nullptr);

    void setSaveFileName(SaveFileName ask) { askFileName = std::move(ask); }

    QTableView *unitsView() const { return units; }
    QTableView *recordsView() const { return records; }
    QString statusText() const;

public slots:
    // Reads the store again with the filter as set.
    void reload();
    void exportCsv();

private:
    void buildFilterRow(QWidget *into);
    movra::records::UnitFilter filter() const;
    void showSelectedUnit();
    void updateStatus();

    movra::records::RecordStore *store;
    UnitsModel *unitsModel;
    UnitRecordsModel *recordsModel;
    QTableView *units;
    QTableView *records;
    QCheckBox *byDate = nullptr;
    QDateEdit *from = nullptr;
    QDateEdit *to = nullptr;
    QComboBox *verdict = nullptr;
    QLineEdit *serial = nullptr;
    QPushButton *exportButton = nullptr;
    QLabel *status;
    QString lastExport;
    SaveFileName askFileName;
};
