// The rows of a CSV of both series, oldest first: time, quantity, value.
//
// writeCsv is a stand-in for the shared CSV writer of the records export
// (records/Csv.h) until both branches meet: UTF-8 with a BOM, fields quoted
// where RFC 4180 needs it, CRLF line ends.
#pragma once

#include <QIODevice>
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

bool writeCsv(QIODevice &out, const QVector<QStringList> &rows);

} // namespace movra::trend
