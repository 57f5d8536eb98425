// records export: the store's records of a time span on stdout, as the
// records window exports them (CSV), or as "record" events, one a line.
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "cli/Commands.h"
#include "cli/StoreSink.h"
#include "records/Csv.h"
#include "records/RecordExport.h"

namespace movra::cli {

namespace {
// Takes the store's JSON export line by line and prints each record as an
// event, its time in the offset it was recorded at.
class RecordEvents : public QIODevice
{
public:
    explicit RecordEvents(Output &out) : m_out(out) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        m_pending.append(data, int(size));
        int end = 0;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            print(QJsonDocument::fromJson(m_pending.left(end)).object());
            m_pending.remove(0, end + 1);
        }
        return size;
    }

private:
    void print(const QJsonObject &record)
    {
        Event e("record");
        const int offset = record.value(QStringLiteral("utc_offset")).toInt();
        for (auto it = record.begin(); it != record.end(); ++it) {
            if (it.key() == QLatin1String("time")) {
                const QDateTime utc =
                    QDateTime::fromString(it.value().toString(), Qt::ISODateWithMs);
                e.text("time", isoTime(utc.toOffsetFromUtc(offset)));
            } else {
                e.value(it.key(), it.value());
            }
        }
        e.line = QString::fromUtf8(e.json());
        m_out.event(e);
    }

    Output &m_out;
    QByteArray m_pending;
};
} // namespace

int runRecordsExport(const Invocation &inv, Output &out)
{
    StoreChoice choice;
    QString error;
    if (!chooseStore(inv.db, &choice, &error)) {
        out.error(kUsage, error);
        return kUsage;
    }
    const bool json = inv.format.isEmpty() ? inv.json : inv.format == QLatin1String("json");
    QFile stdoutFile;
    stdoutFile.open(stdout, QIODevice::WriteOnly);
    // Nothing recorded yet: no file is made just to say so.
    if (!QFileInfo::exists(choice.path)) {
        if (!json)
            csv::Writer(&stdoutFile).begin(records::csvHeaders());
        return kDone;
    }
    records::RecordStore store;
    QObject::connect(&store, &records::RecordStore::problem, &store, [&out](const QString &text) {
        out.warning(QStringLiteral("records: ") + text);
    });
    store.open(choice.path);
    RecordEvents events(out);
    QIODevice *sink = json ? static_cast<QIODevice *>(&events) : &stdoutFile;
    const bool ok = store.exportRecords(inv.since, inv.until,
                                        json ? records::RecordStore::Format::Json
                                             : records::RecordStore::Format::Csv,
                                        sink, records::Verdict::All, inv.serials.value(0));
    stdoutFile.flush();
    store.close();
    if (!ok) {
        out.error(kUsage,
                  QStringLiteral("--db: %1 cannot be read as a record store").arg(choice.path));
        return kUsage;
    }
    return kDone;
}

} // namespace movra::cli
