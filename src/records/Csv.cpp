#include "records/Csv.h"

#include <QIODevice>

namespace movra::csv {

QByteArray field(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    const bool quote =
        bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r');
    if (!quote)
        return bytes;
    bytes.replace('"', "\"\"");
    return '"' + bytes + '"';
}

QByteArray row(const QStringList &fields)
{
    QByteArray line;
    for (int i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += field(fields.at(i));
    }
    line += "\r\n";
    return line;
}

bool Writer::begin(const QStringList &headers)
{
    return put(QByteArrayLiteral("\xEF\xBB\xBF")) && write(headers);
}

bool Writer::write(const QStringList &fields)
{
    return put(row(fields));
}

bool Writer::put(const QByteArray &bytes)
{
    if (good && out->write(bytes) != bytes.size())
        good = false;
    return good;
}

} // namespace movra::csv
