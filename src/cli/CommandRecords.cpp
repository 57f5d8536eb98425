// records export: the records of a time span on stdout, as the records
// window exports them (CSV), or as "record" events, one a line; from the
// local file, read-only, or from the central database that --db names.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <cstdio>

#include "cli/Commands.h"
#include "cli/StoreSink.h"
#include "records/CentralCopy.h"
#include "records/Csv.h"
#include "records/RecordExport.h"
#include "trend/CsvRows.h"

namespace movra::cli {

namespace {
// A record as an event, its time in the offset it was recorded at.
Event recordEvent(const records::Record &r)
{
    Event e("record");
    const QJsonObject o = records::toJson(r);
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (it.key() == QLatin1String("time"))
            e.text("time", trend::isoTime(r.time.toOffsetFromUtc(r.utcOffset)));
        else
            e.value(it.key(), it.value());
    }
    e.line = QString::fromUtf8(e.json());
    return e;
}

using Visit = std::function<bool(const records::Record &)>;
// Reads the records into `take`; false with `why` when the store cannot give them.
using Source = std::function<bool(const Visit &take, QString *why)>;

int exportFrom(const Source &source, const QString &where, bool json, Output &out)
{
    QFile stdoutFile;
    stdoutFile.open(stdout, QIODevice::WriteOnly);
    csv::Writer csv(&stdoutFile);
    bool written = json || csv.begin(records::csvHeaders());
    QString why;
    const bool read = source(
        [&](const records::Record &r) {
            if (json)
                out.event(recordEvent(r));
            else
                written = written && csv.write(records::csvRow(r));
            return written;
        },
        &why);
    // A full disk or a closed pipe must not pass for a complete export.
    if (!stdoutFile.flush() || !written)
        return out.error(kStoreFault, QStringLiteral("records: cannot write the export to "
                                                     "standard output"));
    if (!read)
        return out.error(kStoreFault, QStringLiteral("records: %1: %2").arg(where, why));
    return kDone;
}
} // namespace

int runRecordsExport(const Invocation &inv, Output &out)
{
    StoreChoice choice;
    QString error;
    if (!chooseStore(inv, &choice, &error))
        return out.error(kUsage, error);
    const bool json = inv.format.isEmpty() ? inv.json : inv.format == QLatin1String("json");
    if (choice.centralGiven) {
        const auto url = records::CentralUrl::parse(choice.centralUrl);
        return exportFrom(
            [&](const Visit &take, QString *why) {
                return records::central::read(*url, inv.since, inv.until, inv.exportStation,
                                              inv.serials.value(0), take, why);
            },
            url->redacted(), json, out);
    }
    // Nothing recorded yet: no file is made just to say so.
    if (!QFileInfo::exists(choice.path))
        return exportFrom([](const Visit &, QString *) { return true; }, QString(), json, out);
    const QString file = QDir::toNativeSeparators(choice.path);
    records::RecordStore store;
    return exportFrom(
        [&](const Visit &take, QString *why) {
            if (!store.openReadOnly(choice.path)) {
                *why = storeReason(store.currentProblem(), store.problemDetail(),
                                   store.problemVersion());
                return false;
            }
            return store.forEachRecord(inv.since, inv.until, take, why, inv.serials.value(0));
        },
        file, json, out);
}

} // namespace movra::cli
