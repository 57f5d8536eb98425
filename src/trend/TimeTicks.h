// Where a time axis puts its ticks: on round steps of local time.
#pragma once

#include <QVector>
#include <QtGlobal>

namespace movra::trend {

// The smallest of 1, 2, 5, 10, 15, 30 s; 1, 2, 5, 10, 15, 30 min; 1, 2, 3,
// 6, 12 h that puts at most `maxTicks` ticks on the span; 12 h when none does.
qint64 tickStepMs(qint64 spanMs, int maxTicks);

// The multiples of `stepMs` in [fromMs, toMs], counted from midnight of a
// clock `offsetMs` east of UTC.
QVector<qint64> timeTicks(qint64 fromMs, qint64 toMs, qint64 stepMs, qint64 offsetMs);

} // namespace movra::trend
