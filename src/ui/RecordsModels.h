#pragma once

// Table models of the records window. Both load a page at a time as the
// view scrolls (canFetchMore/fetchMore), so the window opens at once on a
// store of any size.

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

#include "records/Record.h"

namespace movra::records {
class RecordStore;
}

// Rows a page at a time; the store gives the page after a row.
template <typename Row> class PagedModel : public QAbstractTableModel
{
public:
    PagedModel(movra::records::RecordStore *store, int page, QStringList headers,
               QObject *parent)
        : QAbstractTableModel(parent), store(store), page(page), headers(std::move(headers))
    {
    }

    const Row *rowAt(int row) const
    {
        return row >= 0 && row < rows.size() ? &rows.at(row) : nullptr;
    }
    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : rows.size();
    }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : headers.size();
    }
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        return headers.value(section);
    }
    bool canFetchMore(const QModelIndex &parent) const override
    {
        return !parent.isValid() && !exhausted;
    }
    void fetchMore(const QModelIndex &parent) override
    {
        if (!canFetchMore(parent) || rows.isEmpty())
            return;
        const QVector<Row> more = pageAfter(rows.constLast());
        exhausted = more.size() < page;
        if (more.isEmpty())
            return;
        beginInsertRows(QModelIndex(), rows.size(), rows.size() + more.size() - 1);
        rows += more;
        endInsertRows();
    }

protected:
    void showFirstPage(const QVector<Row> &first)
    {
        rows = first;
        exhausted = rows.size() < page;
    }
    virtual QVector<Row> pageAfter(const Row &last) const = 0;

    movra::records::RecordStore *store;
    const int page;
    const QStringList headers;
    QVector<Row> rows;
    bool exhausted = true;
};

class UnitsModel : public PagedModel<movra::records::UnitSummary>
{
    Q_OBJECT
public:
    enum Column { Time, Station, Serial, Port, Address, Ident, Verdicts, Worst, ColumnCount };
    static constexpr int pageSize = 200;

    explicit UnitsModel(movra::records::RecordStore *store, QObject *parent = nullptr);

    // Starts over with `filter`; the first page is loaded at once.
    void setFilter(const movra::records::UnitFilter &filter);
    int total() const { return count; }

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QVector<movra::records::UnitSummary>
    pageAfter(const movra::records::UnitSummary &last) const override;

    movra::records::UnitFilter current;
    int count = 0;
};

class UnitRecordsModel : public PagedModel<movra::records::Record>
{
    Q_OBJECT
public:
    enum Column { Time, Kind, Verdict, What, ColumnCount };
    static constexpr int pageSize = 500;

    explicit UnitRecordsModel(movra::records::RecordStore *store, QObject *parent = nullptr);

    void setUnit(const QUuid &unit);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QVector<movra::records::Record> pageAfter(const movra::records::Record &last) const override;

    QUuid shown;
};
