#pragma once

// A throwaway PostgreSQL cluster for one test program: initdb and pg_ctl in
// a temporary folder, listening on a Unix socket only, password
// authentication, run as the postgres user when the tests run as root.
// Stopped and removed when it goes.

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace records_test {

class PgCluster
{
public:
    PgCluster();
    ~PgCluster();
    PgCluster(const PgCluster &) = delete;
    PgCluster &operator=(const PgCluster &) = delete;

    // initdb and the first start. False with the reason when no server can
    // be started here.
    bool create(QString *why);
    bool start(QString *why = nullptr);
    // Immediate shutdown: what a crash or a pulled cable looks like to a
    // client in the middle of a transaction.
    bool stop(QString *why = nullptr);

    QString url() const;
    QString password() const { return secret; }
    // A connection of the test itself, for checking what arrived.
    QSqlDatabase connection();
    qint64 count(const QString &where = QString());

    // Where to find initdb and pg_ctl; empty when PostgreSQL is missing.
    static QString binDir();

private:
    bool run(const QString &program, const QStringList &arguments, QString *why,
             int timeoutMs = 60000);

    std::unique_ptr<QTemporaryDir> dir;
    QString bin;
    QString secret;
    QString connectionName;
    bool running = false;
    bool asPostgres = false;
};

// QSKIP when no server can be started, or QFAIL when the environment
// demands one (MOVRA_REQUIRE_POSTGRES=1, set by CI).
#define REQUIRE_CLUSTER(cluster)                                                                   \
    do {                                                                                           \
        QString why_;                                                                              \
        if (!(cluster).create(&why_)) {                                                            \
            if (qEnvironmentVariable("MOVRA_REQUIRE_POSTGRES") == QLatin1String("1"))              \
                QFAIL(qPrintable("no PostgreSQL server could be started: " + why_));               \
            QSKIP(qPrintable("no PostgreSQL server could be started: " + why_));                   \
        }                                                                                          \
    } while (false)

} // namespace records_test
