// The rows of a CSV of both series, oldest first: time, quantity, value. The
// window writes them with the records export's writer (records/Csv.h), so
// both files follow the same conventions.
#pragma once

#include <QStringList>
#include <QVector>

#include "trend/TrendHistory.h"

namespace movra::trend {

// ISO 8601 in local time with milliseconds and the offset that held at that
// moment: 2024-05-01T14:03:07.250+08:00.
QString isoLocalTime(qint64 ms);

QString quantityCaption(Quantity q); // "温度(℃)", "湿度(%RH)"

// A header row, then one row per reading of either quantity in time order.
QVector<QStringList> csvRows(const TrendHistory &history);

} // namespace movra::trend
