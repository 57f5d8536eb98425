#include "RecordsModels.h"

#include <QBrush>
#include <QColor>

#include "records/RecordStore.h"
#include "records/RecordText.h"

using namespace movra::records;

namespace {

// Times as the station saw them: in the offset it had then.
QString localTime(const QDateTime &utc, int offset)
{
    return utc.toOffsetFromUtc(offset).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString signedTenths(double value)
{
    return (value > 0 ? QStringLiteral("+") : QString()) + tenthsText(value);
}

QString worstText(const UnitSummary &u)
{
    QStringList parts;
    if (u.worstTemperature)
        parts << UnitsModel::tr("温度 %1 ℃").arg(signedTenths(*u.worstTemperature));
    if (u.worstHumidity)
        parts << UnitsModel::tr("湿度 %1 %RH").arg(signedTenths(*u.worstHumidity));
    return parts.join(UnitsModel::tr("，"));
}

QString verdictsText(const UnitSummary &u)
{
    if (u.passed + u.failed == 0)
        return UnitsModel::tr("未判定");
    return UnitsModel::tr("合格 %1 / 不合格 %2").arg(u.passed).arg(u.failed);
}

const QColor failedColor(0xB0, 0x20, 0x20);

} // namespace

UnitsModel::UnitsModel(RecordStore *store, QObject *parent)
    : QAbstractTableModel(parent), store(store)
{
}

void UnitsModel::setFilter(const UnitFilter &filter)
{
    beginResetModel();
    current = filter;
    units = store->units(current, pageSize);
    exhausted = units.size() < pageSize;
    count = store->unitCount(current);
    endResetModel();
}

const UnitSummary *UnitsModel::unitAt(int row) const
{
    return row >= 0 && row < units.size() ? &units.at(row) : nullptr;
}

int UnitsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : units.size();
}

int UnitsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant UnitsModel::data(const QModelIndex &index, int role) const
{
    const UnitSummary *u = unitAt(index.row());
    if (!u)
        return QVariant();
    if (role == Qt::ForegroundRole && u->failed > 0)
        return QBrush(failedColor);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case Time:
        return localTime(u->unit.started, u->unit.utcOffset);
    case Station:
        return u->unit.station;
    case Serial:
        return u->unit.serial;
    case Port:
        return u->unit.port;
    case Address:
        return u->unit.address ? QVariant(*u->unit.address) : QVariant();
    case Ident:
        return u->unit.ident;
    case Verdicts:
        return verdictsText(*u);
    case Worst:
        return worstText(*u);
    default:
        return QVariant();
    }
}

QVariant UnitsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const names[] = {
        QT_TR_NOOP("时间"), QT_TR_NOOP("工位"),     QT_TR_NOOP("序列号"), QT_TR_NOOP("串口"),
        QT_TR_NOOP("地址"), QT_TR_NOOP("识别信息"), QT_TR_NOOP("判定"),   QT_TR_NOOP("最大偏差")};
    return section >= 0 && section < ColumnCount ? tr(names[section]) : QVariant();
}

bool UnitsModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !exhausted;
}

void UnitsModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent) || units.isEmpty())
        return;
    const UnitSummary last = units.constLast();
    const QVector<UnitSummary> more = store->units(current, pageSize, &last);
    exhausted = more.size() < pageSize;
    if (more.isEmpty())
        return;
    beginInsertRows(QModelIndex(), units.size(), units.size() + more.size() - 1);
    units += more;
    endInsertRows();
}

UnitRecordsModel::UnitRecordsModel(RecordStore *store, QObject *parent)
    : QAbstractTableModel(parent), store(store)
{
}

void UnitRecordsModel::setUnit(const QUuid &unit)
{
    beginResetModel();
    shown = unit;
    records = unit.isNull() ? QVector<Record>() : store->unitRecords(unit, pageSize);
    exhausted = records.size() < pageSize;
    endResetModel();
}

const Record *UnitRecordsModel::recordAt(int row) const
{
    return row >= 0 && row < records.size() ? &records.at(row) : nullptr;
}

int UnitRecordsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : records.size();
}

int UnitRecordsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant UnitRecordsModel::data(const QModelIndex &index, int role) const
{
    const Record *r = recordAt(index.row());
    if (!r)
        return QVariant();
    const auto *reading = std::get_if<Reading>(&r->data);
    if (role == Qt::ForegroundRole && reading && !reading->pass)
        return QBrush(failedColor);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case Time:
        return localTime(r->time, r->utcOffset);
    case Kind:
        return shownLabel(r->kind());
    case What:
        return describe(*r);
    case Verdict:
        return verdictText(*r);
    default:
        return QVariant();
    }
}

QVariant UnitRecordsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const names[] = {QT_TR_NOOP("时间"), QT_TR_NOOP("类型"), QT_TR_NOOP("判定"),
                                        QT_TR_NOOP("内容")};
    return section >= 0 && section < ColumnCount ? tr(names[section]) : QVariant();
}

bool UnitRecordsModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !exhausted;
}

void UnitRecordsModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent) || records.isEmpty())
        return;
    const QVector<Record> more = store->unitRecords(shown, pageSize, records.constLast().seq);
    exhausted = more.size() < pageSize;
    if (more.isEmpty())
        return;
    beginInsertRows(QModelIndex(), records.size(), records.size() + more.size() - 1);
    records += more;
    endInsertRows();
}
