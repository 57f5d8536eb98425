#pragma once

// CSV the way a spreadsheet on Windows opens it without asking: UTF-8 with a
// byte-order mark (else Chinese headers show as mojibake), RFC 4180 quoting,
// CRLF line ends.

#include <QByteArray>
#include <QString>
#include <QStringList>

class QIODevice;

namespace movra::csv {

// One field, quoted only when it holds a comma, a quote or a line break.
QByteArray field(const QString &text);

// The fields joined by commas, ending in CRLF.
QByteArray row(const QStringList &fields);

class Writer
{
public:
    explicit Writer(QIODevice *out) : out(out) {}

    // The byte-order mark and the header row.
    bool begin(const QStringList &headers);
    bool write(const QStringList &fields);
    bool ok() const { return good; }

private:
    bool put(const QByteArray &bytes);

    QIODevice *out;
    bool good = true;
};

} // namespace movra::csv
