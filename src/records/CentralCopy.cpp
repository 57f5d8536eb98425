#include "records/CentralCopy.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <atomic>

#include "records/Columns.h"
#include "records/RecordRows.h"

namespace movra::records {

namespace {

std::atomic<int> connections{0};

// Enums as their codes, so that the table reads without this program.
QStringList tables()
{
    QStringList out{
        // Two stations starting at once must not both create the table.
        QStringLiteral("SELECT pg_advisory_xact_lock(4712001)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS records (%1,"
                       " copied_at timestamptz NOT NULL DEFAULT now())")
            .arg(columns::declarations(true)),
        QStringLiteral("CREATE INDEX IF NOT EXISTS records_unit ON records (unit)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS records_station_t ON records (station, t)"),
        // Deviations copied before format 4 lack their sign.
        QStringLiteral("CREATE TABLE IF NOT EXISTS records_format (version integer NOT NULL)"),
        QStringLiteral("UPDATE records SET deviation = round((value - reference)::numeric, 1)"
                       " WHERE kind = 'reading' AND NOT EXISTS (SELECT 1 FROM records_format)"),
        QStringLiteral("INSERT INTO records_format SELECT 4"
                       " WHERE NOT EXISTS (SELECT 1 FROM records_format)"),
        QStringLiteral(
            "CREATE OR REPLACE VIEW units AS SELECT unit AS id,"
            " min(t) FILTER (WHERE kind = 'attempt') AS started,"
            " max(t) FILTER (WHERE kind = 'disconnect') AS ended,"
            " min(station) AS station,"
            " min(port) FILTER (WHERE kind = 'attempt') AS port,"
            " min(ident) FILTER (WHERE kind = 'attempt') AS ident,"
            " count(*) FILTER (WHERE kind IN ('reading', 'calibration') AND pass) AS passed,"
            " count(*) FILTER (WHERE kind IN ('reading', 'calibration') AND NOT pass) AS failed,"
            " max(abs(deviation)) FILTER (WHERE quantity = 'temperature') AS worst_temperature,"
            " max(abs(deviation)) FILTER (WHERE quantity = 'humidity') AS worst_humidity,"
            " min(serial) AS serial"
            " FROM records WHERE unit IS NOT NULL GROUP BY unit"),
    };
    // A table made by an older version lacks the columns added since.
    QStringList added;
    for (const columns::Column &c : columns::list) {
        if (!c.required)
            added << QStringLiteral("ADD COLUMN IF NOT EXISTS ") + columns::declaration(c, true);
    }
    out.insert(2, QStringLiteral("ALTER TABLE records ") + added.join(QLatin1String(", ")));
    return out;
}

void bind(QSqlQuery &q, const Record &r)
{
    const columns::Row row = columns::flatten(r);
    for (int i = 0; i < columns::count; ++i)
        q.bindValue(i, columns::toCentral(columns::list[i].type, row[size_t(i)]));
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

bool CentralCopy::connect(QString *why, bool create)
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
    ready = !create || createTables(why);
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
    for (const QString &sql : tables()) {
        if (!q.exec(sql)) {
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
                     .arg(rows::recordSelect()));
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
    bool ok =
        db.transaction() && insert.prepare(QStringLiteral("INSERT INTO records (%1) VALUES (%2) "
                                                          "ON CONFLICT (id) DO NOTHING")
                                               .arg(columns::names(), columns::placeholders()));
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

bool CentralCopy::read(const QDateTime &since, const QDateTime &until, const QString &station,
                       const QString &serial, const std::function<bool(const Record &)> &take,
                       QString *why)
{
    if (!connect(why, false))
        return false;
    QStringList where{QStringLiteral("true")};
    QVariantList binds;
    for (const auto &[term, value] :
         {std::pair{"t >= ?", QVariant(since)}, std::pair{"t < ?", QVariant(until)},
          std::pair{"station = ?", station.isEmpty() ? QVariant() : QVariant(station)},
          std::pair{"unit IN (SELECT unit FROM records WHERE serial = ?)",
                    serial.isEmpty() ? QVariant() : QVariant(serial)}}) {
        if (value.isValid() && !value.isNull()) {
            where << QLatin1String(term);
            binds << value;
        }
    }
    QSqlQuery q(QSqlDatabase::database(name, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM records WHERE %2 ORDER BY t, id")
                  .arg(columns::names(), where.join(QLatin1String(" AND "))));
    for (const QVariant &v : binds)
        q.addBindValue(v);
    bool ok = q.exec();
    while (ok && q.next()) {
        columns::Row row;
        for (int i = 0; i < columns::count; ++i)
            row[size_t(i)] = columns::fromCentral(columns::list[i].type, q.value(i));
        ok = take(columns::unflatten(row));
    }
    if (q.lastError().isValid())
        *why = scrub(q.lastError().text());
    return ok && !q.lastError().isValid();
}

QString CentralCopy::scrub(const QString &text) const
{
    QString out = redactUrl(text);
    if (!where.password.isEmpty())
        out.replace(where.password, QStringLiteral("***"));
    return out.simplified(); // one line: libpq says some things in several
}

} // namespace movra::records
