#include "records/RecordText.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>

namespace movra::records {

namespace {

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
    QString text = (a.ok ? RecordsText::tr("连接 ") : RecordsText::tr("连接失败 ")) + a.port +
                   RecordsText::tr(" %1 波特，%2模式").arg(a.baud).arg(shownLabel(a.mode));
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
        .arg(shownLabel(c.quantity), tenthsText(c.reference), tenthsText(c.tolerance), unit,
             mean(c.asFound), tenthsText(c.correctionBefore),
             c.correctionAfter ? tenthsText(*c.correctionAfter) : QStringLiteral("—"),
             c.written ? RecordsText::tr("已写入") : RecordsText::tr("未写入"), mean(c.asLeft));
}

} // namespace

namespace {

const char *const kindCodes[] = {"attempt", "reading",    "write",
                                 "batch",   "disconnect", "calibration"};
const char *const kindLabels[] = {
    QT_TRANSLATE_NOOP("Records", "连接"),     QT_TRANSLATE_NOOP("Records", "读数判定"),
    QT_TRANSLATE_NOOP("Records", "参数写入"), QT_TRANSLATE_NOOP("Records", "批量读取"),
    QT_TRANSLATE_NOOP("Records", "断开"),     QT_TRANSLATE_NOOP("Records", "校准")};
const char *const modeCodes[] = {"normal", "test"};
const char *const modeLabels[] = {QT_TRANSLATE_NOOP("Records", "正常"),
                                  QT_TRANSLATE_NOOP("Records", "测试")};
const char *const quantityCodes[] = {"temperature", "humidity"};
const char *const quantityLabels[] = {QT_TRANSLATE_NOOP("Records", "温度"),
                                      QT_TRANSLATE_NOOP("Records", "湿度")};
const char *const parameterCodes[] = {"station", "baud", "temp_offset", "humi_offset", "order"};
const char *const parameterLabels[] = {
    QT_TRANSLATE_NOOP("Records", "设备地址"), QT_TRANSLATE_NOOP("Records", "波特率"),
    QT_TRANSLATE_NOOP("Records", "温度修正"), QT_TRANSLATE_NOOP("Records", "湿度修正"),
    QT_TRANSLATE_NOOP("Records", "温湿度对调")};
const char *const endedByCodes[] = {"operator", "port_lost"};
const char *const endedByLabels[] = {QT_TRANSLATE_NOOP("Records", "操作员断开"),
                                     QT_TRANSLATE_NOOP("Records", "串口丢失")};
// As the events name them; people read them so too.
const char *const orderCodes[] = {"hardware", "humidity-first", "temperature-first"};

struct Table
{
    const char *const *codes;
    const char *const *labels;
    int count;
};

template <size_t N>
constexpr Table table(const char *const (&codes)[N], const char *const (&labels)[N])
{
    return {codes, labels, int(N)};
}

// In the order of Names.
const Table tables[] = {
    table(kindCodes, kindLabels),         table(modeCodes, modeLabels),
    table(quantityCodes, quantityLabels), table(parameterCodes, parameterLabels),
    table(endedByCodes, endedByLabels),   table(orderCodes, orderCodes)};
static_assert(std::size(tables) == size_t(Names::Order) + 1);
static_assert(std::size(orderCodes) == size_t(kOrderModes));

QString name(const char *const *names, Names of, int value)
{
    if (value >= 0 && value < tables[int(of)].count)
        return QString::fromUtf8(names[value]);
    return of == Names::Order ? QString::number(value) : QString();
}

} // namespace

QString code(Names of, int value)
{
    return name(tables[int(of)].codes, of, value);
}

QString label(Names of, int value)
{
    return name(tables[int(of)].labels, of, value);
}

std::optional<int> fromCode(Names of, const QString &text)
{
    for (int i = 0; i < tables[int(of)].count; ++i) {
        if (QLatin1String(tables[int(of)].codes[i]) == text)
            return i;
    }
    return std::nullopt;
}

QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString tenthsText(double value)
{
    return QString::number(value, 'f', 1);
}

QString describe(const Record &record)
{
    struct Visitor
    {
        QString operator()(const Attempt &a) const { return describeAttempt(a); }
        QString operator()(const Reading &r) const
        {
            const QString unit = unitOf(r.quantity);
            return RecordsText::tr("%1 %2 %3，参考 %4 ± %5，偏差 %6")
                .arg(shownLabel(r.quantity), tenthsText(r.value), unit, tenthsText(r.reference),
                     tenthsText(r.tolerance), signedTenths(r.deviation));
        }
        QString operator()(const ParameterWrite &w) const
        {
            return RecordsText::tr("写入%1 %2：%3")
                .arg(shownLabel(w.parameter), parameterValue(w.parameter, w.value),
                     w.confirmed ? RecordsText::tr("已确认") : RecordsText::tr("超时"));
        }
        QString operator()(const BatchRead &b) const { return describeBatch(b); }
        QString operator()(const Calibration &c) const { return describeCalibration(c); }
        QString operator()(const Disconnect &d) const
        {
            return d.reason.isEmpty() ? shownLabel(d.by)
                                      : shownLabel(d.by) + RecordsText::tr("：") + d.reason;
        }
    };
    return std::visit(Visitor{}, record.data);
}

QString verdictText(const Record &record)
{
    std::optional<bool> pass;
    if (const auto *r = std::get_if<Reading>(&record.data))
        pass = r->pass;
    else if (const auto *c = std::get_if<Calibration>(&record.data))
        pass = c->pass;
    return pass ? (*pass ? RecordsText::tr("合格") : RecordsText::tr("不合格")) : QString();
}

} // namespace movra::records
