// Records into the record store, as the window keeps them: a unit from the
// connection to its end, each judged reading, each write with its outcome,
// each read of the five parameters, and failed connection attempts. The
// store is opened on the first record, so a command that never gets that
// far leaves no file behind; the records are in the file before it ends.
#pragma once

#include <QString>

#include "cli/Output.h"
#include "cli/RecordSink.h"
#include "records/RecordStore.h"

namespace movra::cli {

// Where records go: the window's file beside Setting.ini and the central
// database its Station.ini (or MOVRA_RECORDS_URL) names, unless --db gives
// a file or a postgresql:// URL.
struct StoreChoice
{
    QString path;
    QString centralUrl;
    QString station;
};

// False, with the reason (secrets hidden), for a URL that is not one.
bool chooseStore(const QString &db, StoreChoice *choice, QString *error);

// The store every unit of a run records into, opened on the first record;
// its records are in before it goes.
class RecordFile
{
public:
    RecordFile(const StoreChoice &choice, Output &out);
    ~RecordFile();
    RecordFile(const RecordFile &) = delete;
    RecordFile &operator=(const RecordFile &) = delete;

    records::RecordStore &store();

private:
    StoreChoice m_choice;
    Output &m_out;
    records::RecordStore m_store;
    bool m_opened = false;
};

// One unit's records: its own unit in the store, so that the units of a
// fixture, recorded at once, keep theirs apart.
class StoreSink : public RecordSink
{
public:
    StoreSink(RecordFile &file, const QString &serial);

    void connected(const Identity &identity, const QString &ident) override;
    void connectFailed(const QString &port, qint32 baud, bool testMode,
                       const QString &reason) override;
    void reading(const Measurement &judged) override;
    void written(Parameter parameter, qint32 value, bool confirmed) override;
    void parametersRead(const ParameterValues &values) override;
    void disconnected(bool portLost, const QString &reason) override;

private:
    void add(const records::RecordData &data);

    RecordFile &m_file;
    QString m_serial;
    QUuid m_unit; // null while none is open
};

} // namespace movra::cli
