#include "records/CentralCopy.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <atomic>

#include "records/Columns.h"
#include "records/RecordRows.h"

namespace movra::records::central {

namespace {

std::atomic<int> connections{0};

// `text` without the password, whatever wrote it.
QString scrub(const CentralUrl &url, const QString &text)
{
    QString out = redactUrl(text);
    if (!url.password.isEmpty())
        out.replace(url.password, QStringLiteral("***"));
    return out.simplified(); // one line: libpq says some things in several
}

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

bool createTables(QSqlDatabase db, QString *why)
{
    QSqlQuery q(db);
    bool ok = db.transaction();
    for (const QString &sql : tables())
        ok = ok && q.exec(sql);
    if (!q.lastError().isValid() && ok && db.commit())
        return true;
    *why = (q.lastError().isValid() ? q.lastError() : db.lastError()).text();
    return false;
}

} // namespace

bool open(const CentralUrl &url, const QString &name, QString *why, bool create)
{
    close(name);
    // The Windows build may ship without the PostgreSQL driver; say so plainly
    // rather than "Driver not loaded".
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *why = QStringLiteral("this build has no PostgreSQL driver (qsqlpsql): records are kept "
                              "in the local file only");
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(url.host);
    db.setPort(url.port);
    db.setDatabaseName(url.database);
    db.setUserName(url.user);
    db.setPassword(url.password);
    // Bounded waits, so that closing the tool never hangs on a dead server.
    // Notices ("already exists, skipping") would go to standard error.
    db.setConnectOptions(QStringLiteral("connect_timeout=5;application_name=movra-records;"
                                        "keepalives_idle=10;keepalives_interval=5;"
                                        "keepalives_count=3;tcp_user_timeout=30000;"
                                        "options='-c client_min_messages=warning'"));
    if (!db.open())
        *why = db.lastError().text();
    else if (!create || createTables(db, why))
        return true;
    *why = scrub(url, *why);
    db = QSqlDatabase();
    close(name);
    return false;
}

void close(const QString &name)
{
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

bool copy(const CentralUrl &url, const QString &name, const QVector<Record> &batch, QString *why)
{
    QSqlDatabase db = QSqlDatabase::database(name, false);
    QSqlQuery insert(db);
    bool ok = db.transaction() && insert.prepare(columns::insert());
    for (int i = 0; ok && i < batch.size(); ++i) {
        const columns::Row row = columns::flatten(batch.at(i));
        for (int c = 0; c < columns::count; ++c)
            insert.bindValue(c, columns::toCentral(columns::list[c], row[c]));
        ok = insert.exec();
    }
    if (ok && db.commit())
        return true;
    *why = scrub(url, (insert.lastError().isValid() ? insert.lastError() : db.lastError()).text());
    if (db.isOpen())
        db.rollback();
    return false;
}

bool read(const CentralUrl &url, const QDateTime &since, const QDateTime &until,
          const QString &station, const QString &serial,
          const std::function<bool(const Record &)> &take, QString *why)
{
    const QString name = QStringLiteral("movra_central_%1").arg(++connections);
    if (!open(url, name, why, false))
        return false;
    rows::Where where;
    where.filter(QStringLiteral("t >= ?"), since);
    where.filter(QStringLiteral("t < ?"), until);
    where.filter(QStringLiteral("station = ?"), station);
    where.filter(QStringLiteral("unit IN (SELECT unit FROM records WHERE serial = ?)"), serial);
    QSqlError error;
    const bool ok = rows::readRecords(QSqlDatabase::database(name, false),
                                      where.sql() + QStringLiteral(" ORDER BY t, id"), where.values,
                                      take, &error, true);
    if (error.isValid())
        *why = scrub(url, error.text());
    close(name);
    return ok;
}

} // namespace movra::records::central
