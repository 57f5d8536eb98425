// QSettings turns a "@Variant(...)" value back into a QVariant with
// QDataStream, which reserves room for a list's claimed length before it
// reads a single entry: a hand-edited length of 2^31 throws std::bad_alloc
// through QSettings. Such a value is found here by reading the file as
// QSettings does, without decoding anything.
#include "config/SettingIni.h"

#include <QList>
#include <QtEndian>

namespace movra::config {

namespace {

char escaped(char c)
{
    static const QByteArray letters("abfnrtv"), codes("\a\b\f\n\r\t\v");
    const int k = letters.indexOf(c);
    return k < 0 ? c : codes.at(k); // \" \' \? \\ stand for themselves
}

// The items of a value as QSettings splits and unescapes them, each char
// as the byte QSettings gives QDataStream.
QList<QByteArray> valueItems(const QByteArray &raw)
{
    static const QByteArray kHex("0123456789abcdef0123456789ABCDEF");
    QList<QByteArray> items{QByteArray()};
    bool quoted = false;
    for (int i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i);
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            items.append(QByteArray());
        } else if (c != '\\' || i + 1 >= raw.size()) {
            items.last() += c;
        } else if (raw.at(i + 1) == 'x' || (raw.at(i + 1) >= '0' && raw.at(i + 1) <= '7')) {
            const bool hex = raw.at(++i) == 'x';
            uint value = hex ? 0 : uint(raw.at(i) - '0');
            while (i + 1 < raw.size()) {
                const int d = hex ? kHex.indexOf(raw.at(i + 1)) % 16 : raw.at(i + 1) - '0';
                if (d < 0 || d > (hex ? 15 : 7))
                    break;
                value = value * (hex ? 16 : 8) + uint(d);
                ++i;
            }
            items.last() += value > 0xff ? '?' : char(value); // QString::toLatin1()
        } else {
            items.last() += escaped(raw.at(++i));
        }
    }
    return items;
}

// A list type whose length claims more entries than there are bytes left.
bool overclaims(const QByteArray &stream)
{
    enum : quint32 { VariantList = 9, StringList = 11, ByteArrayList = 49, Polygon = 71 };
    if (stream.size() < 8)
        return false;
    const auto *data = reinterpret_cast<const uchar *>(stream.constData());
    const quint32 type = qFromBigEndian<quint32>(data);
    if (type != VariantList && type != StringList && type != ByteArrayList && type != Polygon)
        return false;
    return qFromBigEndian<quint32>(data + 4) > quint32(stream.size() - 8);
}

} // namespace

bool hasUndecodableVariant(const QByteArray &ini)
{
    static const QByteArray open("@Variant(");
    for (const QByteArray &line : ini.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq <= 0 || line.trimmed().startsWith(';'))
            continue;
        for (const QByteArray &item : valueItems(line.mid(eq + 1).trimmed())) {
            if (item.startsWith(open) && item.endsWith(')') &&
                overclaims(item.mid(open.size(), item.size() - open.size() - 1)))
                return true;
        }
    }
    return false;
}

} // namespace movra::config
