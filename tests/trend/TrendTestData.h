// Readings for the trend's tests: a fixed start and series built from
// (ms after it, value) pairs.
#pragma once

#include <QPointF>
#include <QVector>
#include <functional>

#include "trend/TrendSeries.h"

namespace trendtest {

constexpr qint64 kT0 = 1700000000000LL; // a Tuesday in November 2023

using Points = QVector<QPointF>; // x: ms after kT0, y: value

inline movra::trend::TrendSeries seriesOf(const Points &points)
{
    movra::trend::TrendSeries s;
    for (const QPointF &p : points)
        s.append(kT0 + qint64(p.x()), p.y());
    return s;
}

// Readings once a second from `from` to `to` seconds (inclusive).
inline Points everySecond(int from, int to, const std::function<double(int)> &value)
{
    Points p;
    for (int t = from; t <= to; ++t)
        p.append(QPointF(t * 1000.0, value(t)));
    return p;
}

} // namespace trendtest
