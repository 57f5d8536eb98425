#include "records/CentralCopy.h"

#include <QSqlError>
#include <QSqlQuery>
#include <atomic>

#include "records/RecordRows.h"
#include "records/RecordText.h"

namespace movra::records {

namespace {

std::atomic<int> connections{0};

// Enums as their codes, so that the table reads without this program.
const char *const tables[] = {
    // Two stations starting at once must not both create the table.
    "SELECT pg_advisory_xact_lock(4712001)",
    "CREATE TABLE IF NOT EXISTS records ("
    " id uuid PRIMARY KEY, unit uuid, t timestamptz NOT NULL, utc_offset integer NOT NULL,"
    " station text NOT NULL, tool_version text NOT NULL, kind text NOT NULL,"
    " quantity text, value double precision, reference double precision,"
    " tolerance double precision, deviation double precision, pass boolean,"
    " parameter text, confirmed boolean,"
    " batch_station integer, batch_baud integer, batch_temp_offset double precision,"
    " batch_humi_offset double precision, batch_order integer,"
    " port text, baud integer, mode text, ident text, address integer, ok boolean,"
    " ended_by text, reason text, copied_at timestamptz NOT NULL DEFAULT now())",
    // Tables made before units had a serial number.
    "ALTER TABLE records ADD COLUMN IF NOT EXISTS serial text",
    "CREATE INDEX IF NOT EXISTS records_unit ON records (unit)",
    "CREATE INDEX IF NOT EXISTS records_station_t ON records (station, t)",
    "CREATE OR REPLACE VIEW units AS SELECT unit AS id,"
    " min(t) FILTER (WHERE kind = 'attempt') AS started,"
    " max(t) FILTER (WHERE kind = 'disconnect') AS ended,"
    " min(station) AS station,"
    " min(port) FILTER (WHERE kind = 'attempt') AS port,"
    " min(ident) FILTER (WHERE kind = 'attempt') AS ident,"
    " count(*) FILTER (WHERE kind = 'reading' AND pass) AS passed,"
    " count(*) FILTER (WHERE kind = 'reading' AND NOT pass) AS failed,"
    " max(abs(deviation)) FILTER (WHERE quantity = 'temperature') AS worst_temperature,"
    " max(abs(deviation)) FILTER (WHERE quantity = 'humidity') AS worst_humidity,"
    " min(serial) FILTER (WHERE kind = 'attempt') AS serial"
    " FROM records WHERE unit IS NOT NULL GROUP BY unit",
};

const char insertSql[] =
    "INSERT INTO records (id, unit, t, utc_offset, station, tool_version, kind, quantity,"
    " value, reference, tolerance, deviation, pass, parameter, confirmed, batch_station,"
    " batch_baud, batch_temp_offset, batch_humi_offset, batch_order, port, baud, mode, ident,"
    " address, ok, ended_by, reason, serial) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
    " ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (id) DO NOTHING";

template <typename T> QVariant opt(const std::optional<T> &v)
{
    return v ? QVariant(*v) : QVariant();
}

QVariant uuidText(const QUuid &id)
{
    return id.isNull() ? QVariant() : QVariant(id.toString(QUuid::WithoutBraces));
}

// The values of insertSql from the 8th on (after kind).
void dataValues(QVariant *v, const RecordData &data)
{
    if (const auto *r = std::get_if<Reading>(&data)) {
        v[0] = code(r->quantity);
        v[1] = r->value;
        v[2] = r->reference;
        v[3] = r->tolerance;
        v[4] = r->deviation;
        v[5] = r->pass;
    } else if (const auto *w = std::get_if<ParameterWrite>(&data)) {
        v[1] = w->value;
        v[6] = code(w->parameter);
        v[7] = w->confirmed;
    } else if (const auto *b = std::get_if<BatchRead>(&data)) {
        v[8] = opt(b->station);
        v[9] = opt(b->baud);
        v[10] = opt(b->tempOffset);
        v[11] = opt(b->humiOffset);
        v[12] = opt(b->order);
    } else if (const auto *a = std::get_if<Attempt>(&data)) {
        v[13] = a->port;
        v[14] = a->baud;
        v[15] = code(a->mode);
        v[16] = a->ident;
        v[17] = opt(a->address);
        v[18] = a->ok;
        v[20] = a->reason;
        v[21] = a->serial.isEmpty() ? QVariant() : QVariant(a->serial);
    } else if (const auto *d = std::get_if<Disconnect>(&data)) {
        v[19] = code(d->by);
        v[20] = d->reason;
    }
}

void bind(QSqlQuery &q, const Record &r)
{
    QVariant v[29];
    v[0] = uuidText(r.id);
    v[1] = uuidText(r.unit);
    v[2] = r.time;
    v[3] = r.utcOffset;
    v[4] = r.station;
    v[5] = r.toolVersion;
    v[6] = code(r.kind());
    dataValues(v + 7, r.data);
    for (int i = 0; i < 29; ++i)
        q.bindValue(i, v[i]);
}

} // namespace

CentralCopy::CentralCopy(const CentralUrl &url)
    : where(url), name(QStringLiteral("movra_central_%1").arg(++connections))
{
}

CentralCopy::~CentralCopy()
{
    disconnect();
}

bool CentralCopy::connect(QString *why)
{
    disconnect();
    // The Windows build may ship without the PostgreSQL driver; say so plainly
    // rather than "Driver not loaded".
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *why = QStringLiteral("this build has no PostgreSQL driver (qsqlpsql): records are kept "
                              "in the local file only");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(where.host);
    db.setPort(where.port);
    db.setDatabaseName(where.database);
    db.setUserName(where.user);
    db.setPassword(where.password);
    // Bounded waits, so that closing the tool never hangs on a dead server.
    // Notices ("already exists, skipping") would go to standard error.
    db.setConnectOptions(QStringLiteral("connect_timeout=5;application_name=movra-records;"
                                        "keepalives_idle=10;keepalives_interval=5;"
                                        "keepalives_count=3;tcp_user_timeout=30000;"
                                        "options='-c client_min_messages=warning'"));
    if (!db.open()) {
        *why = scrub(db.lastError().text());
        return false;
    }
    ready = createTables(why);
    return ready;
}

bool CentralCopy::createTables(QString *why)
{
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.transaction()) {
        *why = scrub(db.lastError().text());
        return false;
    }
    QSqlQuery q(db);
    for (const char *sql : tables) {
        if (!q.exec(QString::fromLatin1(sql))) {
            *why = scrub(q.lastError().text());
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        *why = scrub(db.lastError().text());
        return false;
    }
    return true;
}

void CentralCopy::disconnect()
{
    ready = false;
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

bool CentralCopy::answers()
{
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!ready || !db.isOpen())
        return false;
    QSqlQuery q(db);
    return q.exec(QStringLiteral("SELECT 1")) && q.next();
}

CentralCopy::Result CentralCopy::copy(const QSqlDatabase &local, qint64 afterSeq, int limit)
{
    Result result;
    QSqlQuery read(local);
    read.setForwardOnly(true);
    read.prepare(QStringLiteral("SELECT %1 FROM records r LEFT JOIN units u ON u.seq = r.unit "
                                "WHERE r.seq > ? ORDER BY r.seq LIMIT ?")
                     .arg(QLatin1String(rows::recordSelect)));
    read.addBindValue(afterSeq);
    read.addBindValue(limit);
    QVector<Record> batch;
    if (read.exec()) {
        while (read.next())
            batch << rows::readRecord(read);
    }
    if (read.lastError().isValid()) {
        result.failed = Failed::Local;
        result.why = read.lastError().text();
        return result;
    }
    if (batch.isEmpty())
        return result;

    QSqlDatabase db = QSqlDatabase::database(name, false);
    QSqlQuery insert(db);
    bool ok = db.transaction() && insert.prepare(QString::fromLatin1(insertSql));
    for (int i = 0; ok && i < batch.size(); ++i) {
        bind(insert, batch.at(i));
        ok = insert.exec();
    }
    if (ok && db.commit()) {
        result.copied = batch.size();
        result.lastSeq = batch.constLast().seq;
        return result;
    }
    const QSqlError error = insert.lastError().isValid() ? insert.lastError() : db.lastError();
    result.failed = Failed::Central;
    result.why = scrub(error.text());
    if (db.isOpen())
        db.rollback();
    return result;
}

QString CentralCopy::scrub(const QString &text) const
{
    QString out = redactUrl(text);
    if (!where.password.isEmpty())
        out.replace(where.password, QStringLiteral("***"));
    return out.trimmed();
}

} // namespace movra::records
