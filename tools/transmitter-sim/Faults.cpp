#include "Faults.h"

namespace movrasim {

namespace {

bool readNumber(const QString &text, int minimum, int maximum, int *out)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < minimum || v > maximum)
        return false;
    *out = v;
    return true;
}

} // namespace

bool parseFaults(const QStringList &items, Faults *faults, QString *error)
{
    Faults f = *faults;
    for (const QString &group : items) {
        for (QString item : group.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            item = item.trimmed().toLower();
            const int eq = item.indexOf(QLatin1Char('='));
            const QString name = eq < 0 ? item : item.left(eq);
            const QString value = eq < 0 ? QString() : item.mid(eq + 1);
            const bool hasValue = eq >= 0;
            bool ok = true;
            if (name == QLatin1String("silent") && !hasValue) {
                f.silent = true;
            } else if (name == QLatin1String("badcrc") && !hasValue) {
                f.badCrc = true;
            } else if (name == QLatin1String("echo") && !hasValue) {
                f.echo = true;
            } else if (name == QLatin1String("exception") && !hasValue) {
                f.exception = true;
            } else if (name == QLatin1String("drop")) {
                ok = hasValue && readNumber(value, 0, 100, &f.dropPercent);
            } else if (name == QLatin1String("delay")) {
                ok = hasValue && readNumber(value, 0, 60000, &f.delayMs);
            } else if (name == QLatin1String("split")) {
                f.splitGapMs = DefaultFaultGapMs;
                ok = !hasValue || readNumber(value, 0, 60000, &f.splitGapMs);
            } else if (name == QLatin1String("garbage")) {
                f.garbageGapMs = DefaultFaultGapMs;
                ok = !hasValue || readNumber(value, 0, 60000, &f.garbageGapMs);
            } else if (name == QLatin1String("seed")) {
                int seed = 0;
                ok = hasValue && readNumber(value, 0, 0x7fffffff, &seed);
                f.seed = quint32(seed);
            } else {
                ok = false;
            }
            if (!ok) {
                if (error)
                    *error = QStringLiteral("fault not understood: \"%1\"").arg(item);
                return false;
            }
        }
    }
    *faults = f;
    return true;
}

QString faultsText(const Faults &f)
{
    QStringList out;
    if (f.silent)
        out << QStringLiteral("silent");
    if (f.badCrc)
        out << QStringLiteral("badcrc");
    if (f.dropPercent > 0)
        out << QStringLiteral("drop=%1").arg(f.dropPercent);
    if (f.delayMs > 0)
        out << QStringLiteral("delay=%1").arg(f.delayMs);
    if (f.splitGapMs >= 0)
        out << QStringLiteral("split=%1").arg(f.splitGapMs);
    if (f.echo)
        out << QStringLiteral("echo");
    if (f.exception)
        out << QStringLiteral("exception");
    if (f.garbageGapMs >= 0)
        out << QStringLiteral("garbage=%1").arg(f.garbageGapMs);
    if (f.dropPercent > 0 || f.garbageGapMs >= 0)
        out << QStringLiteral("seed=%1").arg(f.seed);
    return out.isEmpty() ? QStringLiteral("none") : out.join(QLatin1Char(','));
}

} // namespace movrasim
