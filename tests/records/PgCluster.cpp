#include "PgCluster.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QVariant>
#include <atomic>
#include <pwd.h>
#include <unistd.h>

#include "RecordsTestSupport.h"

namespace records_test {

namespace {
std::atomic<int> connections{0};
const char user[] = "movra";
const char database[] = "records";
constexpr int port = 5432; // a socket in a folder of our own: no clash

bool hasTools(const QString &dir)
{
    return !dir.isEmpty() && QFile::exists(dir + QStringLiteral("/initdb")) &&
           QFile::exists(dir + QStringLiteral("/pg_ctl"));
}

// Hands the folder and what is in it to the postgres user.
bool giveToPostgres(const QString &path, QString *why)
{
    const passwd *pw = ::getpwnam("postgres");
    if (!pw) {
        *why = QStringLiteral("running as root and there is no postgres user to run the server");
        return false;
    }
    QDir dir(path);
    QStringList paths{path};
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot))
        paths << dir.filePath(name);
    for (const QString &p : paths) {
        if (::chown(QFile::encodeName(p).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            *why = QStringLiteral("cannot hand %1 to the postgres user").arg(p);
            return false;
        }
    }
    return true;
}
} // namespace

PgCluster::PgCluster() : connectionName(QStringLiteral("pgtest_%1").arg(++connections)) {}

PgCluster::~PgCluster()
{
    if (QSqlDatabase::contains(connectionName)) {
        QSqlDatabase::database(connectionName, false).close();
        QSqlDatabase::removeDatabase(connectionName);
    }
    if (running)
        stop();
}

QString PgCluster::binDir()
{
    QProcess config;
    config.start(QStringLiteral("pg_config"), {QStringLiteral("--bindir")});
    if (config.waitForFinished(10000) && config.exitCode() == 0) {
        const QString dir = QString::fromLocal8Bit(config.readAllStandardOutput()).trimmed();
        if (hasTools(dir))
            return dir;
    }
    // Debian keeps the server programs out of PATH, one folder per version.
    QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(),
              [&](const QString &a, const QString &b) { return numeric.compare(a, b) > 0; });
    for (const QString &v : versions) {
        const QString dir = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(v);
        if (hasTools(dir))
            return dir;
    }
    const QString initdb = QStandardPaths::findExecutable(QStringLiteral("initdb"));
    return initdb.isEmpty() ? QString() : QFileInfo(initdb).absolutePath();
}

bool PgCluster::run(const QString &program, const QStringList &arguments, QString *why,
                    int timeoutMs)
{
    QProcess p;
    p.setWorkingDirectory(dir->path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    const QString path = bin + '/' + program;
    if (asPostgres)
        p.start(QStringLiteral("runuser"),
                QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"),
                            path} +
                    arguments);
    else
        p.start(path, arguments);
    const bool finished = p.waitForFinished(timeoutMs);
    if (finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    if (why)
        *why = QStringLiteral("%1 failed (%2): %3")
                   .arg(program, finished ? QString::number(p.exitCode()) : p.errorString(),
                        QString::fromLocal8Bit(p.readAll()).trimmed().right(800));
    return false;
}

bool PgCluster::create(QString *why)
{
    bin = binDir();
    if (bin.isEmpty()) {
        *why = QStringLiteral("initdb and pg_ctl not found (pg_config --bindir, "
                              "/usr/lib/postgresql/*/bin, PATH)");
        return false;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *why = QStringLiteral("Qt's QPSQL driver is not installed");
        return false;
    }
    dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/movra-pg-XXXXXX"));
    if (!dir->isValid()) {
        *why = QStringLiteral("no temporary folder");
        return false;
    }
    // An '@' and a '%' check that the URL is decoded and never shown.
    secret = QStringLiteral("Pw@%1%%2")
                 .arg(QRandomGenerator::global()->generate(), 0, 16)
                 .arg(QRandomGenerator::global()->generate(), 0, 16);
    QDir(dir->path()).mkdir(QStringLiteral("sock"));
    QFile pw(dir->filePath(QStringLiteral("pw")));
    if (!pw.open(QIODevice::WriteOnly) || pw.write(secret.toUtf8() + '\n') <= 0) {
        *why = QStringLiteral("cannot write the password file");
        return false;
    }
    pw.close();
    asPostgres = isRoot();
    if (asPostgres && !giveToPostgres(dir->path(), why))
        return false;
    if (!run(QStringLiteral("initdb"),
             {QStringLiteral("-D"), dir->filePath(QStringLiteral("data")), QStringLiteral("-U"),
              QString::fromLatin1(user), QStringLiteral("--pwfile=") + pw.fileName(),
              QStringLiteral("-A"), QStringLiteral("scram-sha-256"), QStringLiteral("-E"),
              QStringLiteral("UTF8"), QStringLiteral("--no-locale"), QStringLiteral("--no-sync")},
             why, 120000))
        return false;
    if (!start(why))
        return false;
    QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName + "a");
    admin.setHostName(dir->filePath(QStringLiteral("sock")));
    admin.setPort(port);
    admin.setDatabaseName(QStringLiteral("postgres"));
    admin.setUserName(QString::fromLatin1(user));
    admin.setPassword(secret);
    bool ok = admin.open();
    if (ok)
        ok = QSqlQuery(admin).exec(QStringLiteral("CREATE DATABASE ") + database);
    if (!ok)
        *why = QStringLiteral("cannot create the database: ") + admin.lastError().text();
    admin.close();
    admin = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName + "a");
    return ok;
}

bool PgCluster::start(QString *why)
{
    const QString options = QStringLiteral("-k %1 -c listen_addresses='' -p %2 -c fsync=off")
                                .arg(dir->filePath(QStringLiteral("sock")))
                                .arg(port);
    running = run(QStringLiteral("pg_ctl"),
                  {QStringLiteral("-D"), dir->filePath(QStringLiteral("data")),
                   QStringLiteral("-l"), dir->filePath(QStringLiteral("server.log")),
                   QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"),
                   QStringLiteral("-o"), options, QStringLiteral("start")},
                  why);
    return running;
}

bool PgCluster::stop(QString *why)
{
    const bool ok =
        run(QStringLiteral("pg_ctl"),
            {QStringLiteral("-D"), dir->filePath(QStringLiteral("data")), QStringLiteral("-m"),
             QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")},
            why);
    if (ok)
        running = false;
    return ok;
}

QString PgCluster::url() const
{
    // Concatenated: the encoded parts hold % signs that arg() would take.
    return QStringLiteral("postgresql://") + QString::fromLatin1(user) + ':' +
           QString::fromLatin1(QUrl::toPercentEncoding(secret)) + QStringLiteral("@/") +
           QString::fromLatin1(database) + QStringLiteral("?host=") +
           QString::fromLatin1(QUrl::toPercentEncoding(dir->filePath(QStringLiteral("sock")))) +
           QStringLiteral("&port=") + QString::number(port);
}

QSqlDatabase PgCluster::connection()
{
    if (!QSqlDatabase::contains(connectionName)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
        db.setHostName(dir->filePath(QStringLiteral("sock")));
        db.setPort(port);
        db.setDatabaseName(QString::fromLatin1(database));
        db.setUserName(QString::fromLatin1(user));
        db.setPassword(secret);
        db.setConnectOptions(QStringLiteral("options='-c client_min_messages=warning'"));
    }
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    // After a restart of the server the old connection is dead.
    if (!db.isOpen() || !QSqlQuery(db).exec(QStringLiteral("SELECT 1"))) {
        db.close();
        db.open();
    }
    return db;
}

qint64 PgCluster::count(const QString &where)
{
    QSqlQuery q(connection());
    const QString sql = QStringLiteral("SELECT count(*) FROM records") +
                        (where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where);
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

} // namespace records_test
