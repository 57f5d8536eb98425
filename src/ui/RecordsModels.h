#pragma once

// Table models of the records window. Both load a page at a time as the
// view scrolls (canFetchMore/fetchMore), so the window opens at once on a
// store of any size.

#include <QAbstractTableModel>
#include <QVector>

#include "records/Record.h"

namespace movra::records {
class RecordStore;
}

class UnitsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Time, Station, Serial, Port, Address, Ident, Verdicts, Worst, ColumnCount };

    explicit UnitsModel(movra::records::RecordStore *store, QObject *parent = nullptr);

    // Starts over with `filter`; the first page is loaded at once.
    void setFilter(const movra::records::UnitFilter &filter);
    const movra::records::UnitFilter &filter() const { return current; }
    int total() const { return count; }
    const movra::records::UnitSummary *unitAt(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    static constexpr int pageSize = 200;

private:
    movra::records::RecordStore *store;
    movra::records::UnitFilter current;
    QVector<movra::records::UnitSummary> units;
    int count = 0;
    bool exhausted = true;
};

class UnitRecordsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { Time, Kind, Verdict, What, ColumnCount };

    explicit UnitRecordsModel(movra::records::RecordStore *store, QObject *parent = nullptr);

    void setUnit(const QUuid &unit);
    QUuid unit() const { return shown; }
    const movra::records::Record *recordAt(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    static constexpr int pageSize = 500;

private:
    movra::records::RecordStore *store;
    QUuid shown;
    QVector<movra::records::Record> records;
    bool exhausted = true;
};
