// Values held in tenths (of a degree or of a percent) and their texts.
#pragma once

#include <QString>
#include <QtGlobal>

namespace movra {

// "-" for negatives, |v|/10, ".", last digit of |v|: 253 -> "25.3", -5 -> "-0.5".
QString tenthsText(qint64 value);

// Operator text to tenths: read as a float, times ten in single precision,
// truncated toward zero. Not a number or NaN gives 0; anything outside
// [minimum, maximum] saturates there.
qint64 textToTenths(const QString &text, qint64 minimum, qint64 maximum);

} // namespace movra
