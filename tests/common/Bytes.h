// Frames for the tests, built without the code under test.
#pragma once

#include <QByteArray>

namespace movratest {

QByteArray hex(const char *text);
// Appends a CRC-16/Modbus computed bit by bit here, independent of
// movra::crc16, so a fault there cannot make a malformed reply look valid.
QByteArray withCrc(QByteArray bytes);

} // namespace movratest
