// The rows of a CSV of both series, oldest first: time, quantity, value. The
// window writes them with the records export's writer (records/Csv.h), so
// both files follow the same conventions.
#pragma once

#include <QDateTime>
#include <QStringList>
#include <QVector>

#include "trend/TrendHistory.h"

namespace movra::trend {

// ISO 8601 with milliseconds and the offset of `time`'s own clock:
// 2024-05-01T14:03:07.250+08:00.
QString isoTime(const QDateTime &time);
// The same in local time, with the offset that held at that moment.
QString isoLocalTime(qint64 ms);

// A header row, then one row per reading of either quantity in time order.
QVector<QStringList> csvRows(const TrendHistory &history);

} // namespace movra::trend
