#include "cli/StoreSink.h"

#include <QDir>
#include <QFileInfo>

#include "cli/Commands.h"
#include "cli/LineDefaults.h"
#include "config/SettingIni.h"
#include "records/Schema.h"
#include "records/StationConfig.h"

namespace movra::cli {

namespace {
// The copy of a run's records may take this long before movra exits.
constexpr int kCentralWaitMs = 3000;

bool isUrl(const QString &db)
{
    return db.startsWith(QLatin1String("postgresql://")) ||
           db.startsWith(QLatin1String("postgres://"));
}
} // namespace

bool chooseStore(const Invocation &inv, StoreChoice *choice, QString *error)
{
    const QString &db = inv.db;
    const QString ini = config::SettingIni::defaultPath();
    const records::StationConfig station =
        records::StationConfig::load(config::stationIniPath(ini), inv.recordsUrl);
    choice->path = config::recordsPath(ini);
    choice->centralUrl = station.url;
    choice->station = station.stationName();
    if (isUrl(db)) {
        QString why;
        if (!records::CentralUrl::parse(db, &why)) {
            *error = QStringLiteral("--db: \"%1\" is not valid (%2); expected a file path or a "
                                    "postgresql:// URL")
                         .arg(records::redactUrl(db), why);
            return false;
        }
        choice->centralUrl = db;
        choice->centralGiven = true;
    } else if (!db.isEmpty()) {
        choice->path = db;
    }
    return true;
}

QString storeReason(records::Problem problem, const QString &detail, int version)
{
    using records::Problem;
    const QString why = detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail);
    switch (problem) {
    case Problem::Corrupt:
        return QStringLiteral("the file is damaged") + why;
    case Problem::TooNew:
        return QStringLiteral("written by a newer version (format %1; this one knows up to %2)")
            .arg(version)
            .arg(records::schema::current);
    case Problem::NotRecords:
        return QStringLiteral("not a record store: it holds another program's data");
    case Problem::ReadOnly:
        return QStringLiteral("read-only") + why;
    case Problem::Locked:
        return QStringLiteral("locked by another program") + why;
    case Problem::DiskFull:
        return QStringLiteral("the disk is full") + why;
    case Problem::CannotOpen:
        return QStringLiteral("cannot be opened") + why;
    default:
        break;
    }
    return QStringLiteral("cannot be written") + why;
}

RecordFile::RecordFile(const StoreChoice &choice, Output &out) : m_choice(choice), m_out(out)
{
    m_store.setStation(choice.station);
    m_store.setToolVersion(QStringLiteral(MOVRA_VERSION));
}

int RecordFile::finish(int status)
{
    if (!m_opened)
        return status;
    const records::RecordStore::Closed closed =
        m_store.close(m_choice.centralUrl.isEmpty() ? 0 : kCentralWaitMs);
    m_abandoned = closed.abandoned;
    const QString file = QDir::toNativeSeparators(m_choice.path);
    if (!closed.centralWhy.isEmpty() && closed.lost == 0)
        m_out.warning(QStringLiteral("records: the central copy is not complete: %1; the records "
                                     "stay in %2 and are copied on a later run")
                          .arg(closed.centralWhy, file));
    if (closed.lost == 0)
        return status;
    const QString line =
        QStringLiteral("records: %1: %2; %3 records of this run are not kept")
            .arg(file, storeReason(closed.problem, closed.detail, closed.foundVersion))
            .arg(closed.lost);
    if (status != kDone) {
        m_out.warning(line);
        return status;
    }
    return m_out.error(kStoreFault, line);
}

records::RecordStore &RecordFile::store()
{
    if (!m_opened) {
        m_opened = true;
        // The window makes its folder when it starts; this may come first.
        QDir().mkpath(QFileInfo(m_choice.path).absolutePath());
        if (!m_choice.centralUrl.isEmpty())
            m_store.startCentral(m_choice.centralUrl);
        m_store.open(m_choice.path);
    }
    return m_store;
}

records::Recorder unitRecorder(RecordFile *file, const Invocation &inv, const QString &serial)
{
    const bool expired = inv.referenceDue.isValid() && inv.referenceDue < QDate::currentDate();
    const records::Trace trace{serial, inv.operatorName, inv.reference, inv.referenceDue,
                               expired && inv.allowExpired};
    return records::Recorder(
        [file]() -> records::RecordStore * { return file ? &file->store() : nullptr; }, trace);
}

} // namespace movra::cli
