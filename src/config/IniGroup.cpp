#include "config/IniGroup.h"

#include <QFile>
#include <QLockFile>
#include <QSaveFile>

#include <algorithm>

namespace movra::config {

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

struct Line
{
    int begin = 0;   // first byte
    int end = 0;     // one past its line break
    QByteArray text; // without the line break
};

QVector<Line> linesOf(const QByteArray &bytes)
{
    QVector<Line> lines;
    int pos = bytes.startsWith(kBom) ? kBom.size() : 0;
    while (pos < bytes.size()) {
        int next = bytes.indexOf('\n', pos);
        next = next < 0 ? bytes.size() : next + 1;
        QByteArray text = bytes.mid(pos, next - pos);
        while (text.endsWith('\n') || text.endsWith('\r'))
            text.chop(1);
        lines.append({pos, next, text});
        pos = next;
    }
    return lines;
}

// The group name a header line opens, or a null array when it is no header.
QByteArray headerName(const QByteArray &line)
{
    const QByteArray t = line.trimmed();
    if (t.size() < 2 || !t.startsWith('[') || !t.endsWith(']'))
        return QByteArray();
    return t.mid(1, t.size() - 2).trimmed();
}

// [begin, end) byte ranges of every section named `group`.
QVector<QPair<int, int>> groupRanges(const QVector<Line> &lines, const QByteArray &group)
{
    QVector<QPair<int, int>> ranges;
    for (int i = 0; i < lines.size(); ++i) {
        if (headerName(lines[i].text) != group)
            continue;
        int j = i + 1;
        while (j < lines.size() && headerName(lines[j].text).isNull())
            ++j;
        ranges.append({lines[i].begin, j < lines.size() ? lines[j].begin : lines.last().end});
        i = j - 1;
    }
    return ranges;
}

QByteArray readAll(const QString &path, bool *ok)
{
    QFile f(path);
    if (!f.exists()) {
        *ok = true;
        return QByteArray();
    }
    *ok = f.open(QIODevice::ReadOnly);
    return *ok ? f.readAll() : QByteArray();
}

QString unquoted(const QByteArray &raw)
{
    if (raw.size() < 2 || !raw.startsWith('"') || !raw.endsWith('"'))
        return QString::fromUtf8(raw);
    QByteArray out;
    for (int i = 1; i < raw.size() - 1; ++i) {
        char c = raw.at(i);
        if (c == '\\' && i + 1 < raw.size() - 1) {
            c = raw.at(++i);
            if (c == 'n')
                c = '\n';
        }
        out += c;
    }
    return QString::fromUtf8(out);
}

// Quoted where a plain value would not read back the same.
QByteArray quotedIfNeeded(const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    if (value == value.trimmed() && !utf8.startsWith('"') && !utf8.contains('\n'))
        return utf8;
    QByteArray out("\"");
    for (const char c : utf8) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c == '\n' ? QByteArray("\\n") : QByteArray(1, c);
    }
    return out + '"';
}

} // namespace

IniEntries readIniGroup(const QString &path, const QString &group)
{
    bool ok = false;
    const QByteArray bytes = readAll(path, &ok);
    const QByteArray name = group.toUtf8();
    IniEntries entries;
    bool inside = false;
    for (const Line &line : linesOf(bytes)) {
        const QByteArray header = headerName(line.text);
        if (!header.isNull()) {
            inside = header == name;
            continue;
        }
        const QByteArray t = line.text.trimmed();
        const int eq = t.indexOf('=');
        if (!inside || eq <= 0 || t.startsWith(';') || t.startsWith('#'))
            continue;
        entries.append(
            {QString::fromUtf8(t.left(eq).trimmed()), unquoted(t.mid(eq + 1).trimmed())});
    }
    return entries;
}

bool writeIniGroup(const QString &path, const QString &group, const IniEntries &entries)
{
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(1000))
        return false;
    bool ok = false;
    QByteArray bytes = readAll(path, &ok);
    if (!ok)
        return false;

#ifdef Q_OS_WIN
    QByteArray eol = bytes.contains('\n') && !bytes.contains("\r\n") ? "\n" : "\r\n";
#else
    QByteArray eol = bytes.contains("\r\n") ? "\r\n" : "\n";
#endif
    const QByteArray name = group.toUtf8();
    QByteArray section = '[' + name + ']' + eol;
    for (const auto &kv : entries)
        section += kv.first.toUtf8() + '=' + quotedIfNeeded(kv.second) + eol;

    const QVector<Line> lines = linesOf(bytes);
    const QVector<QPair<int, int>> ranges = groupRanges(lines, name);
    if (ranges.isEmpty()) {
        if (!bytes.isEmpty() && !bytes.endsWith('\n'))
            bytes += eol;
        if (!bytes.isEmpty() && bytes != kBom)
            bytes += eol;
        bytes += section;
    } else {
        // A group that another one follows keeps the blank line before it.
        if (ranges.first().second < bytes.size())
            section += eol;
        for (int r = ranges.size() - 1; r >= 0; --r)
            bytes.replace(ranges[r].first, ranges[r].second - ranges[r].first,
                          r == 0 ? section : QByteArray());
    }

    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

bool updateIniGroup(const QString &path, const QString &group, const IniEntries &entries)
{
    IniEntries merged = readIniGroup(path, group);
    for (const auto &kv : entries) {
        auto it = std::find_if(merged.begin(), merged.end(),
                               [&kv](const auto &old) { return old.first == kv.first; });
        if (it == merged.end())
            merged.append(kv);
        else
            it->second = kv.second;
    }
    return writeIniGroup(path, group, merged);
}

QString iniValue(const IniEntries &entries, const QString &key)
{
    for (const auto &kv : entries) {
        if (kv.first == key)
            return kv.second;
    }
    return QString();
}

} // namespace movra::config
