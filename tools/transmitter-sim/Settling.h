// A raw reading on the move: a step seen through the sensor's first-order
// lag (a climate chamber reaching its set point), or a straight ramp. The
// device keeps the end value once the change is over.
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace movrasim {

struct Settling
{
    enum class Shape { FirstOrder, Ramp };

    Shape shape = Shape::FirstOrder;
    int from = 0; // tenths
    int to = 0;   // tenths
    // First order: the time constant (63 % of the way after it, 99 % after
    // five). Ramp: its length. 0 is a plain step.
    qint64 timeMs = 0;

    // Tenths at `elapsedMs` after the change began; `from` before it.
    // Rounded to tenths, as the device reports.
    int valueAt(qint64 elapsedMs) const;
    // How long until the value reads `to` for good.
    qint64 durationMs() const;
};

// "FROM:TO:SECONDS", FROM and TO in the quantity's unit within
// [minimum, maximum], SECONDS a number from 0 to a day. Fills *error when
// the text is not understood.
std::optional<Settling> parseSettling(const QString &text, Settling::Shape shape, double minimum,
                                      double maximum, QString *error);

// The same text back, for banners.
QString settlingText(const Settling &s);

} // namespace movrasim
