// Helpers shared by the fuzz targets.
#pragma once

#include <QByteArray>
#include <cstdio>
#include <cstdlib>

namespace movrafuzz {

// A broken property is a finding: libFuzzer saves the input on abort.
#define MOVRA_REQUIRE(condition)                                                                   \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// CRC-16/MODBUS bit by bit, kept apart from movra::crc16 so a fault there
// cannot agree with itself.
inline quint16 referenceCrc(const QByteArray &bytes, int from, int count)
{
    quint16 crc = 0xFFFF;
    for (int i = from; i < from + count; ++i) {
        crc ^= quint8(bytes[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

inline quint8 byteAt(const QByteArray &bytes, int i)
{
    return quint8(bytes[i]);
}

// The block exactly as libFuzzer hands it over: no copy, so ASan reports a
// read even one byte past its end.
inline QByteArray exactBlock(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
}

} // namespace movrafuzz
