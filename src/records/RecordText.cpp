#include "records/RecordText.h"

#include <QLocale>
#include <vector>

namespace movra::records {

namespace {

struct Name
{
    const char *code;
    const char *label; // null: the code is the label
};

// In the order of Names, each in its enumeration's order. The order modes
// are named as the events name them; people read them so too.
const std::vector<Name> tables[] = {
    {{"attempt", QT_TRANSLATE_NOOP("Records", "连接")},
     {"reading", QT_TRANSLATE_NOOP("Records", "读数判定")},
     {"write", QT_TRANSLATE_NOOP("Records", "参数写入")},
     {"batch", QT_TRANSLATE_NOOP("Records", "批量读取")},
     {"disconnect", QT_TRANSLATE_NOOP("Records", "断开")},
     {"calibration", QT_TRANSLATE_NOOP("Records", "校准")}},
    {{"normal", QT_TRANSLATE_NOOP("Records", "正常")},
     {"test", QT_TRANSLATE_NOOP("Records", "测试")}},
    {{"temperature", QT_TRANSLATE_NOOP("Records", "温度")},
     {"humidity", QT_TRANSLATE_NOOP("Records", "湿度")}},
    {{"station", QT_TRANSLATE_NOOP("Records", "设备地址")},
     {"baud", QT_TRANSLATE_NOOP("Records", "波特率")},
     {"temp_offset", QT_TRANSLATE_NOOP("Records", "温度修正")},
     {"humi_offset", QT_TRANSLATE_NOOP("Records", "湿度修正")},
     {"order", QT_TRANSLATE_NOOP("Records", "温湿度对调")}},
    {{"operator", QT_TRANSLATE_NOOP("Records", "操作员断开")},
     {"port_lost", QT_TRANSLATE_NOOP("Records", "串口丢失")}},
    {{"hardware", nullptr}, {"humidity-first", nullptr}, {"temperature-first", nullptr}}};
static_assert(std::size(tables) == size_t(Names::Order) + 1);

const Name *find(Names of, int value)
{
    const std::vector<Name> &names = tables[int(of)];
    return value >= 0 && value < int(names.size()) ? &names[size_t(value)] : nullptr;
}

} // namespace

QString code(Names of, int value)
{
    if (const Name *name = find(of, value))
        return QString::fromUtf8(name->code);
    return of == Names::Order ? QString::number(value) : QString();
}

QString label(Names of, int value)
{
    const Name *name = find(of, value);
    return name && name->label ? QString::fromUtf8(name->label) : code(of, value);
}

QString shownLabel(Names of, int value)
{
    const Name *name = find(of, value);
    return name && name->label ? RecordsText::tr(name->label) : code(of, value);
}

std::optional<int> fromCode(Names of, const QString &text)
{
    const std::vector<Name> &names = tables[int(of)];
    for (size_t i = 0; i < names.size(); ++i) {
        if (QLatin1String(names[i].code) == text)
            return int(i);
    }
    return std::nullopt;
}

QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace movra::records
