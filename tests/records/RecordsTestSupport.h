#pragma once

// Shared by the record store tests: a fresh folder per test function,
// comparison of records, sample records, file checks and a way to make a
// path read-only that holds for root too.

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "records/Record.h"
#include "records/RecordStore.h"

namespace movra::records {

bool operator==(const Attempt &a, const Attempt &b);
bool operator==(const Reading &a, const Reading &b);
bool operator==(const ParameterWrite &a, const ParameterWrite &b);
bool operator==(const BatchRead &a, const BatchRead &b);
bool operator==(const Disconnect &a, const Disconnect &b);
bool operator==(const Calibration &a, const Calibration &b);
bool operator==(const Trace &a, const Trace &b);
// All but seq, which only the store assigns.
bool operator==(const Record &a, const Record &b);
char *toString(const Record &record);

} // namespace movra::records

namespace records_test {

using namespace movra::records;

// Test mode for QStandardPaths, so nothing touches a real user's files.
void isolate();

// A test case whose every function gets a folder of its own: `path` is a
// store file in it that does not exist yet.
class StoreFileTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolate(); }
    void init();

protected:
    std::unique_ptr<QTemporaryDir> dir;
    QString path;
};

// A store fed one unit at a time through append(), as the tool's recorder
// feeds it.
class UnitStore : public RecordStore
{
public:
    using RecordStore::RecordStore;
    QUuid unitStarted(Attempt attempt);
    void attemptFailed(Attempt attempt);
    void add(const RecordData &data);
    void unitEnded(const Disconnect &disconnect);
    QUuid currentUnit() const { return unit; }

private:
    QUuid unit;
};

// A store whose retries only happen when the test asks.
RecordStore::Options byHand();

// Records of the file not yet copied to the central database at `url`;
// -1 when the file cannot be read.
qint64 waitingForCentral(const QString &file, const QString &url);

// What SQLite's integrity check says of the file: "ok" when sound.
QString integrity(const QString &path);

// A stamped record, as the store would fill it, at `time` (UTC).
Record record(const RecordData &data, const QDateTime &time, const QUuid &unit = QUuid());
Attempt okAttempt(const QString &port = QStringLiteral("/dev/ttyUSB0"));
Reading reading(Quantity q, double value, double reference, double tolerance);

// A unit at `start` whose readings give it `verdict`: connection, zero to
// two readings, disconnect.
QUuid addUnit(RecordStore &store, const QDateTime &start, Verdict verdict,
              const QString &port = QStringLiteral("COM3"), const QString &serial = QString());

QByteArray fileHash(const QString &path);

// Every record of the store, oldest first.
QVector<Record> allRecords(const RecordStore &store);

bool isRoot();

// Makes a file or folder read-only for this process, root included
// (chattr +i as root, permission bits otherwise) and undoes it when it goes.
class ReadOnly
{
public:
    explicit ReadOnly(const QString &path);
    ~ReadOnly();
    ReadOnly(const ReadOnly &) = delete;
    ReadOnly &operator=(const ReadOnly &) = delete;

    bool ok() const { return applied; }
    QString how() const { return method; }
    QString error() const { return why; }
    void undo();

private:
    QString path;
    QString method;
    QString why;
    bool applied = false;
};

// The helper program built with the tests.
inline QString helperPath()
{
#ifdef MOVRA_RECORDS_HELPER
    return QStringLiteral(MOVRA_RECORDS_HELPER);
#else
    return QString();
#endif
}

} // namespace records_test
