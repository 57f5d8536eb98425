#include "RecordsTestSupport.h"

#include <cmath>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QtTest>
#include <unistd.h>

#include "records/RecordExport.h"

namespace movra::records {

bool operator==(const Attempt &a, const Attempt &b)
{
    return a.port == b.port && a.baud == b.baud && a.mode == b.mode && a.ident == b.ident &&
           a.address == b.address && a.ok == b.ok && a.reason == b.reason;
}

bool operator==(const Reading &a, const Reading &b)
{
    return a.quantity == b.quantity && a.value == b.value && a.reference == b.reference &&
           a.tolerance == b.tolerance && a.deviation == b.deviation && a.pass == b.pass;
}

bool operator==(const ParameterWrite &a, const ParameterWrite &b)
{
    return a.parameter == b.parameter && a.value == b.value && a.confirmed == b.confirmed;
}

bool operator==(const BatchRead &a, const BatchRead &b)
{
    return a.station == b.station && a.baud == b.baud && a.tempOffset == b.tempOffset &&
           a.humiOffset == b.humiOffset && a.order == b.order;
}

bool operator==(const Disconnect &a, const Disconnect &b)
{
    return a.by == b.by && a.reason == b.reason;
}

bool operator==(const Calibration &a, const Calibration &b)
{
    return a.quantity == b.quantity && a.reference == b.reference && a.tolerance == b.tolerance &&
           a.asFound == b.asFound && a.correctionBefore == b.correctionBefore &&
           a.correctionAfter == b.correctionAfter && a.asLeft == b.asLeft &&
           a.samples == b.samples && a.written == b.written && a.pass == b.pass;
}

bool operator==(const Trace &a, const Trace &b)
{
    return a.serial == b.serial && a.operatorName == b.operatorName && a.reference == b.reference &&
           a.referenceDue == b.referenceDue && a.expired == b.expired;
}

bool operator==(const Record &a, const Record &b)
{
    return a.id == b.id && a.unit == b.unit && a.time == b.time && a.utcOffset == b.utcOffset &&
           a.station == b.station && a.toolVersion == b.toolVersion && a.data == b.data &&
           a.trace == b.trace;
}

char *toString(const Record &record)
{
    return qstrdup(QJsonDocument(toJson(record)).toJson(QJsonDocument::Compact).constData());
}

} // namespace movra::records

namespace records_test {

void isolate()
{
    QStandardPaths::setTestModeEnabled(true);
}

void StoreFileTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    path = dir->filePath(QStringLiteral("records.sqlite"));
}

QUuid UnitStore::unitStarted(Attempt attempt)
{
    attempt.ok = true;
    unit = newId();
    add(attempt);
    return unit;
}

void UnitStore::attemptFailed(Attempt attempt)
{
    attempt.ok = false;
    Record r;
    r.data = attempt;
    append(r);
}

void UnitStore::add(const RecordData &data)
{
    Record r;
    r.unit = unit;
    r.data = data;
    append(r);
}

void UnitStore::unitEnded(const Disconnect &disconnect)
{
    add(disconnect);
    unit = QUuid();
}

RecordStore::Options byHand()
{
    RecordStore::Options options;
    options.retryFirstMs = 3600 * 1000;
    options.retryMaxMs = 3600 * 1000;
    return options;
}

qint64 waitingForCentral(const QString &file, const QString &url)
{
    qint64 waiting = -1;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("waiting"));
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery q(db);
        if (db.open() &&
            q.prepare(QStringLiteral("SELECT count(*) FROM records WHERE seq > coalesce("
                                     "(SELECT last_seq FROM copy_state WHERE target = ?), 0)"))) {
            q.addBindValue(CentralUrl::parse(url)->target());
            if (q.exec() && q.next())
                waiting = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("waiting"));
    return waiting;
}

QString integrity(const QString &path)
{
    QString result;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next())
                result = q.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return result;
}

Record record(const RecordData &data, const QDateTime &time, const QUuid &unit)
{
    Record r;
    r.id = newId(time);
    r.unit = unit;
    r.time = time.toUTC();
    r.utcOffset = 8 * 3600;
    r.station = QStringLiteral("装配线3号工位");
    r.toolVersion = QStringLiteral("1.31");
    r.data = data;
    return r;
}

Attempt okAttempt(const QString &port)
{
    Attempt a;
    a.port = port;
    a.baud = 9600;
    a.ident = QStringLiteral("KVT582 V2.1");
    a.address = 1;
    a.ok = true;
    return a;
}

Reading reading(Quantity q, double value, double reference, double tolerance)
{
    Reading r;
    r.quantity = q;
    r.value = value;
    r.reference = reference;
    r.tolerance = tolerance;
    r.deviation = std::round((value - reference) * 10) / 10; // in tenths, as the tool judges
    r.pass = qAbs(r.deviation) < tolerance;
    return r;
}

QUuid addUnit(RecordStore &store, const QDateTime &start, Verdict verdict, const QString &port,
              const QString &serial)
{
    const QUuid unit = newId(start);
    Record opened = record(okAttempt(port), start, unit);
    opened.trace.serial = serial;
    store.append(opened);
    if (verdict == Verdict::Passed || verdict == Verdict::Failed)
        store.append(
            record(reading(Quantity::Temperature, 23.1, 23.0, 0.5), start.addSecs(1), unit));
    if (verdict == Verdict::Failed)
        store.append(record(reading(Quantity::Humidity, 52.0, 50.0, 1.0), start.addSecs(2), unit));
    store.append(record(Disconnect{EndedBy::Operator, {}}, start.addSecs(3), unit));
    return unit;
}

QVector<Record> allRecords(const RecordStore &store)
{
    QVector<Record> out;
    store.forEachRecord({}, {}, [&out](const Record &r) {
        out << r;
        return true;
    });
    return out;
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result().toHex();
}

bool isRoot()
{
    return ::geteuid() == 0;
}

ReadOnly::ReadOnly(const QString &path) : path(path)
{
    if (isRoot()) {
        // Permission bits do not stop root; the immutable attribute does.
        method = QStringLiteral("chattr +i");
        QProcess chattr;
        chattr.start(QStringLiteral("chattr"), {QStringLiteral("+i"), path});
        if (!chattr.waitForFinished(10000) || chattr.exitStatus() != QProcess::NormalExit ||
            chattr.exitCode() != 0) {
            why = QStringLiteral("chattr +i failed: ") +
                  QString::fromLocal8Bit(chattr.readAllStandardError()).trimmed() +
                  chattr.errorString();
            return;
        }
        applied = true;
        return;
    }
    method = QStringLiteral("chmod a-w");
    const bool folder = QFileInfo(path).isDir();
    applied =
        QFile::setPermissions(path, folder ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
    if (!applied)
        why = QStringLiteral("chmod failed");
}

ReadOnly::~ReadOnly()
{
    undo();
}

void ReadOnly::undo()
{
    if (!applied)
        return;
    applied = false;
    if (method.startsWith(QLatin1String("chattr"))) {
        QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), path});
        return;
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace records_test
