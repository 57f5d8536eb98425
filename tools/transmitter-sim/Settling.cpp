#include "Settling.h"

#include <QStringList>
#include <QtMath>
#include <cmath>

namespace movrasim {

namespace {

constexpr double kMaxSeconds = 24 * 3600;

QString units(int tenths)
{
    return QString::number(tenths / 10.0, 'f', 1);
}

} // namespace

int Settling::valueAt(qint64 elapsedMs) const
{
    if (elapsedMs < 0)
        return from;
    if (timeMs <= 0)
        return to;
    const double t = double(elapsedMs) / double(timeMs);
    if (shape == Shape::Ramp)
        return t >= 1.0 ? to : qRound(from + (to - from) * t);
    return qRound(to + (from - to) * std::exp(-t));
}

qint64 Settling::durationMs() const
{
    if (timeMs <= 0 || from == to)
        return 0;
    if (shape == Shape::Ramp)
        return timeMs;
    // Within half a tenth, the reading rounds to `to`.
    const double lag = std::log(2.0 * std::abs(to - from));
    return qint64(std::ceil(double(timeMs) * lag));
}

std::optional<Settling> parseSettling(const QString &text, Settling::Shape shape, double minimum,
                                      double maximum, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("\"%1\": %2").arg(text, why);
        return std::nullopt;
    };
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.size() != 3)
        return fail(QStringLiteral("expected FROM:TO:SECONDS"));
    double values[3] = {};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[i] = parts.at(i).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(values[i]))
            return fail(QStringLiteral("\"%1\" is not a number").arg(parts.at(i)));
    }
    for (int i = 0; i < 2; ++i) {
        if (values[i] < minimum || values[i] > maximum)
            return fail(QStringLiteral("%1 is outside %2..%3")
                            .arg(parts.at(i).trimmed(), QString::number(minimum, 'f', 1),
                                 QString::number(maximum, 'f', 1)));
    }
    if (values[2] < 0 || values[2] > kMaxSeconds)
        return fail(QStringLiteral("SECONDS must be 0..86400"));
    Settling s;
    s.shape = shape;
    s.from = qRound(values[0] * 10.0);
    s.to = qRound(values[1] * 10.0);
    s.timeMs = qRound64(values[2] * 1000.0);
    return s;
}

QString settlingText(const Settling &s)
{
    return QStringLiteral("%1 %2 to %3 %4 %5 s")
        .arg(s.shape == Settling::Shape::Ramp ? QStringLiteral("ramp") : QStringLiteral("settle"),
             units(s.from), units(s.to),
             s.shape == Settling::Shape::Ramp ? QStringLiteral("over") : QStringLiteral("tau"),
             QString::number(s.timeMs / 1000.0));
}

} // namespace movrasim
