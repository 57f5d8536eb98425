#include "link/Tenths.h"

#include <cmath>

namespace movra {

QString tenthsText(qint64 value)
{
    // Work on the magnitude as unsigned so the most negative value has one.
    const quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    QString text = value < 0 ? QStringLiteral("-") : QString();
    text += QString::number(magnitude / 10);
    text += QLatin1Char('.');
    text += QString::number(magnitude % 10);
    return text;
}

qint64 textToTenths(const QString &text, qint64 minimum, qint64 maximum)
{
    const float value = text.toFloat();
    // Single precision on purpose: "4.35" must give 43, as the operators know it.
    const float tenths = value * 10.0f;
    if (std::isnan(tenths))
        return 0;
    if (tenths >= float(maximum))
        return maximum;
    if (tenths <= float(minimum))
        return minimum;
    return qint64(std::trunc(tenths));
}

} // namespace movra
