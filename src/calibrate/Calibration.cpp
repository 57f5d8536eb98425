#include "calibrate/Calibration.h"

#include "link/Protocol.h"

namespace movra::calibrate {

bool proposeCorrection(qint32 current, qint32 reference, qint64 sum, int count, qint32 *out)
{
    // reference - sum / count = num / count; rounded by magnitude.
    const qint64 num = qint64(reference) * count - sum;
    const qint64 magnitude = ((num < 0 ? -num : num) * 2 + count) / (2 * qint64(count));
    const qint64 value = qint64(current) + (num < 0 ? -magnitude : magnitude);
    *out = qint32(qBound<qint64>(-1000000, value, 1000000));
    return value >= -kMaxCorrection && value <= kMaxCorrection;
}

QString quantityName(Quantity q)
{
    return q == Quantity::Temperature ? QStringLiteral("temperature") : QStringLiteral("humidity");
}

} // namespace movra::calibrate
