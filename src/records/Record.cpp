#include "records/Record.h"

#include <QRandomGenerator>
#include <QtEndian>

namespace movra::records {

QUuid newId(const QDateTime &utc)
{
    uchar bytes[16];
    const quint64 ms = quint64(utc.toMSecsSinceEpoch());
    for (int i = 0; i < 6; ++i)
        bytes[i] = uchar(ms >> (8 * (5 - i)));
    quint32 random[3];
    QRandomGenerator::global()->fillRange(random);
    for (int i = 0; i < 10; ++i)
        bytes[6 + i] = uchar(random[i / 4] >> (8 * (i % 4)));
    bytes[6] = uchar(0x70 | (bytes[6] & 0x0F)); // version 7
    bytes[8] = uchar(0x80 | (bytes[8] & 0x3F)); // RFC 4122 variant
    return QUuid::fromRfc4122(QByteArray(reinterpret_cast<const char *>(bytes), 16));
}

} // namespace movra::records
