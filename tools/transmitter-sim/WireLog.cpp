#include "WireLog.h"

#include <QTime>
#include <cstdio>

namespace movrasim {

QString wireLogLine(WireDirection direction, const QByteArray &bytes, const QString &note)
{
    const char *arrow = direction == WireDirection::In    ? "<-"
                        : direction == WireDirection::Out ? "->"
                                                          : "--";
    QString line = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) +
                   QLatin1Char(' ') + QLatin1String(arrow);
    if (!bytes.isEmpty())
        line += QLatin1Char(' ') + QString::fromLatin1(bytes.toHex(' '));
    if (!note.isEmpty())
        line += QLatin1Char(' ') + note;
    return line;
}

void writeWireLog(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace movrasim
