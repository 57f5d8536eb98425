#include "engine/PortList.h"

#include <QDir>

namespace movra {

QStringList splitPortList(const QString &value)
{
    // Plain splitting, no regular expression: PCRE's JIT reads past a
    // string's end, which memory checkers report on a name handed in.
    QString list = value;
    if (QDir::listSeparator() != QLatin1Char(';'))
        list.replace(QLatin1Char(':'), QLatin1Char(';'));
    QStringList names;
    for (const QString &name : list.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (!name.trimmed().isEmpty())
            names << name.trimmed();
    }
    return names;
}

} // namespace movra
