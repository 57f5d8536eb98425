#include "trend/TimeTicks.h"

#include <iterator>

namespace movra::trend {

namespace {
constexpr qint64 kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute;
constexpr qint64 kSteps[] = {
    kSecond, 2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
    kMinute, 2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour,   2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,
};

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}
} // namespace

qint64 tickStepMs(qint64 spanMs, int maxTicks)
{
    for (qint64 step : kSteps)
        if (spanMs / step + 1 <= maxTicks)
            return step;
    return kSteps[std::size(kSteps) - 1];
}

QVector<qint64> timeTicks(qint64 fromMs, qint64 toMs, qint64 stepMs, qint64 offsetMs)
{
    QVector<qint64> ticks;
    if (stepMs <= 0)
        return ticks;
    qint64 t = (floorDiv(fromMs + offsetMs - 1, stepMs) + 1) * stepMs - offsetMs;
    for (; t <= toMs; t += stepMs)
        ticks.append(t);
    return ticks;
}

} // namespace movra::trend
