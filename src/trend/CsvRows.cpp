#include "trend/CsvRows.h"

namespace movra::trend {

QString isoTime(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           QLatin1Char(offset < 0 ? '-' : '+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString isoLocalTime(qint64 ms)
{
    return isoTime(QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime));
}

QVector<QStringList> csvRows(const TrendHistory &history)
{
    const TrendSeries &t = history.series(Quantity::Temperature);
    const TrendSeries &h = history.series(Quantity::Humidity);
    QVector<QStringList> rows;
    rows.reserve(1 + t.size() + h.size());
    rows.append({QStringLiteral("时间"), QStringLiteral("量"), QStringLiteral("值")});
    const auto row = [&rows](const TrendSeries &s, int i, Quantity q) {
        rows.append(
            {isoLocalTime(s.timeAt(i)),
             q == Quantity::Temperature ? QStringLiteral("温度(℃)") : QStringLiteral("湿度(%RH)"),
             QString::number(double(s.valueAt(i)), 'f', 1)});
    };
    int i = 0, j = 0;
    while (i < t.size() || j < h.size()) {
        // At equal times, temperature first: the same order on every export.
        if (j >= h.size() || (i < t.size() && t.timeAt(i) <= h.timeAt(j))) {
            row(t, i, Quantity::Temperature);
            ++i;
        } else {
            row(h, j, Quantity::Humidity);
            ++j;
        }
    }
    return rows;
}

} // namespace movra::trend
