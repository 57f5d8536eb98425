#include "engine/PortList.h"

#include <QDir>
#include <QRegularExpression>

namespace movra {

QStringList splitPortList(const QString &value)
{
    static const QRegularExpression separators(
        QDir::listSeparator() == QLatin1Char(';') ? QStringLiteral(";") : QStringLiteral("[;:]"));
    QStringList names;
    for (const QString &name : value.split(separators, Qt::SkipEmptyParts)) {
        if (!name.trimmed().isEmpty())
            names << name.trimmed();
    }
    return names;
}

} // namespace movra
