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

// A value with one decimal, the way the tool shows tenths.
QString tenthsText(double value)
{
    return QString::number(value, 'f', 1);
}

QString unitOf(Quantity quantity)
{
    return quantity == Quantity::Temperature ? QStringLiteral("℃") : QStringLiteral("%RH");
}

QString signedTenths(double value)
{
    return (value > 0 ? QStringLiteral("+") : QString()) + tenthsText(value);
}

QString parameterValue(Parameter parameter, double value)
{
    switch (parameter) {
    case Parameter::TempCorrection:
        return tenthsText(value) + QStringLiteral(" ℃");
    case Parameter::HumiCorrection:
        return tenthsText(value) + QStringLiteral(" %RH");
    default:
        return numberText(value);
    }
}

QString describeAttempt(const Attempt &a)
{
    QString text =
        (a.ok ? RecordsText::tr("连接 ") : RecordsText::tr("连接失败 ")) + a.port +
        RecordsText::tr(" %1 波特，%2模式").arg(a.baud).arg(shownLabel(Names::Mode, int(a.mode)));
    if (!a.ident.isEmpty())
        text += RecordsText::tr("：") + a.ident;
    if (a.address)
        text += RecordsText::tr("，地址 %1").arg(*a.address);
    if (!a.ok && !a.reason.isEmpty())
        text += RecordsText::tr("（%1）").arg(a.reason);
    return text;
}

QString describeBatch(const BatchRead &b)
{
    QStringList parts;
    const QString none = QStringLiteral("—");
    parts << RecordsText::tr("地址 ") + (b.station ? QString::number(*b.station) : none);
    parts << RecordsText::tr("波特率 ") + (b.baud ? QString::number(*b.baud) : none);
    parts << RecordsText::tr("温度修正 ") + (b.tempOffset ? tenthsText(*b.tempOffset) : none);
    parts << RecordsText::tr("湿度修正 ") + (b.humiOffset ? tenthsText(*b.humiOffset) : none);
    parts << RecordsText::tr("温湿度对调 ") + (b.order ? QString::number(*b.order) : none);
    return RecordsText::tr("批量读取：") + parts.join(RecordsText::tr("，"));
}

QString describeCalibration(const Calibration &c)
{
    const QString unit = unitOf(c.quantity);
    const auto mean = [&unit](const std::optional<double> &v) {
        return v ? QString::number(*v, 'f', 2) + QLatin1Char(' ') + unit : QStringLiteral("—");
    };
    return RecordsText::tr("%1校准：参考 %2 ± %3 %4，校准前 %5，修正 %6 → %7（%8），校准后 %9")
        .arg(shownLabel(Names::Quantity, int(c.quantity)), tenthsText(c.reference),
             tenthsText(c.tolerance), unit, mean(c.asFound), tenthsText(c.correctionBefore),
             c.correctionAfter ? tenthsText(*c.correctionAfter) : QStringLiteral("—"),
             c.written ? RecordsText::tr("已写入") : RecordsText::tr("未写入"), mean(c.asLeft));
}

// One line saying what happened, in the window's language.
QString describe(const Record &record)
{
    struct Visitor
    {
        QString operator()(const Attempt &a) const { return describeAttempt(a); }
        QString operator()(const Reading &r) const
        {
            const QString unit = unitOf(r.quantity);
            return RecordsText::tr("%1 %2 %3，参考 %4 ± %5，偏差 %6")
                .arg(shownLabel(Names::Quantity, int(r.quantity)), tenthsText(r.value), unit,
                     tenthsText(r.reference), tenthsText(r.tolerance), signedTenths(r.deviation));
        }
        QString operator()(const ParameterWrite &w) const
        {
            return RecordsText::tr("写入%1 %2：%3")
                .arg(shownLabel(Names::Parameter, int(w.parameter)),
                     parameterValue(w.parameter, w.value),
                     w.confirmed ? RecordsText::tr("已确认") : RecordsText::tr("超时"));
        }
        QString operator()(const BatchRead &b) const { return describeBatch(b); }
        QString operator()(const Calibration &c) const { return describeCalibration(c); }
        QString operator()(const Disconnect &d) const
        {
            const QString by = shownLabel(Names::EndedBy, int(d.by));
            return d.reason.isEmpty() ? by : by + RecordsText::tr("：") + d.reason;
        }
    };
    return std::visit(Visitor{}, record.data);
}

// "合格"/"不合格" for a reading or a calibration, empty for the other kinds.
QString verdictText(const Record &record)
{
    std::optional<bool> pass;
    if (const auto *r = std::get_if<Reading>(&record.data))
        pass = r->pass;
    else if (const auto *c = std::get_if<Calibration>(&record.data))
        pass = c->pass;
    return pass ? (*pass ? RecordsText::tr("合格") : RecordsText::tr("不合格")) : QString();
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
    : PagedModel(store, pageSize,
                 {tr("时间"), tr("工位"), tr("序列号"), tr("串口"), tr("地址"), tr("识别信息"),
                  tr("判定"), tr("最大偏差")},
                 parent)
{
}

void UnitsModel::setFilter(const UnitFilter &filter)
{
    beginResetModel();
    current = filter;
    showFirstPage(store->units(current, pageSize));
    count = store->unitCount(current);
    endResetModel();
}

QVector<UnitSummary> UnitsModel::pageAfter(const UnitSummary &last) const
{
    return store->units(current, pageSize, &last);
}

QVariant UnitsModel::data(const QModelIndex &index, int role) const
{
    const UnitSummary *u = rowAt(index.row());
    if (!u)
        return QVariant();
    if (role == Qt::ForegroundRole && u->failed > 0)
        return QBrush(failedColor);
    // The tip shows the whole of a cell the column is too narrow for.
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
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

UnitRecordsModel::UnitRecordsModel(RecordStore *store, QObject *parent)
    : PagedModel(store, pageSize, {tr("时间"), tr("类型"), tr("判定"), tr("内容")}, parent)
{
}

void UnitRecordsModel::setUnit(const QUuid &unit)
{
    beginResetModel();
    shown = unit;
    showFirstPage(unit.isNull() ? QVector<Record>() : store->unitRecords(unit, pageSize));
    endResetModel();
}

QVector<Record> UnitRecordsModel::pageAfter(const Record &last) const
{
    return store->unitRecords(shown, pageSize, last.seq);
}

QVariant UnitRecordsModel::data(const QModelIndex &index, int role) const
{
    const Record *r = rowAt(index.row());
    if (!r)
        return QVariant();
    const auto *reading = std::get_if<Reading>(&r->data);
    if (role == Qt::ForegroundRole && reading && !reading->pass)
        return QBrush(failedColor);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    switch (index.column()) {
    case Time:
        return localTime(r->time, r->utcOffset);
    case Kind:
        return shownLabel(Names::Kind, int(r->kind()));
    case What:
        return describe(*r);
    case Verdict:
        return verdictText(*r);
    default:
        return QVariant();
    }
}
