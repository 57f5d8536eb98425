// Timestamped hex trace of the line, for --verbose.
#pragma once

#include <QByteArray>
#include <QString>

namespace movrasim {

enum class WireDirection { In, Out, Note };

// "12:34:56.789 <- 01 03 00 00 00 02 c4 0b"; "->" for sent bytes, "--" for notes.
QString wireLogLine(WireDirection direction, const QByteArray &bytes, const QString &note = {});
void writeWireLog(const QString &line);

} // namespace movrasim
