#pragma once

// CSV the way a spreadsheet on Windows opens it without asking: UTF-8 with a
// byte-order mark (else Chinese headers show as mojibake), RFC 4180 quoting,
// CRLF line ends.

#include <QByteArray>
#include <QByteArrayList>
#include <QIODevice>
#include <QStringList>

namespace movra::csv {

// One field, quoted only when it holds a comma, a quote or a line break.
inline QByteArray field(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    for (const char special : {',', '"', '\n', '\r'}) {
        if (bytes.contains(special))
            return '"' + bytes.replace('"', "\"\"") + '"';
    }
    return bytes;
}

// The fields joined by commas, ending in CRLF.
inline QByteArray row(const QStringList &fields)
{
    QByteArrayList line;
    for (const QString &text : fields)
        line << field(text);
    return line.join(',') + "\r\n";
}

// Each call is false when the device did not take all of its row.
class Writer
{
public:
    explicit Writer(QIODevice *out) : out(out) {}

    // The byte-order mark and the header row.
    bool begin(const QStringList &headers) { return put("\xEF\xBB\xBF" + row(headers)); }
    bool write(const QStringList &fields) { return put(row(fields)); }

private:
    bool put(const QByteArray &bytes) { return out->write(bytes) == bytes.size(); }

    QIODevice *out;
};

} // namespace movra::csv
