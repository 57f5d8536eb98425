// Records into the record store, as the window keeps them: a unit from the
// connection to its end, each judged reading, each write with its outcome,
// each read of the five parameters, and failed connection attempts. The
// store is opened on the first record, so a command that never gets that
// far leaves no file behind; the records are in the file before it ends,
// and in the central database too when it answers within 3 s.
#pragma once

#include <QString>

#include "cli/Options.h"
#include "cli/Output.h"
#include "records/RecordStore.h"
#include "records/Recorder.h"

namespace movra::cli {

// Where records go: the window's file beside Setting.ini and the central
// database its Station.ini (or MOVRA_RECORDS_URL) names, unless --db gives
// a file or a postgresql:// URL.
struct StoreChoice
{
    QString path;
    QString centralUrl;
    QString station;
    bool centralGiven = false; // --db named the central database
};

// False, with the reason (secrets hidden), for a URL that is not one.
bool chooseStore(const Invocation &inv, StoreChoice *choice, QString *error);

// Why the store could not keep or give records, for one line on stderr.
QString storeReason(records::Problem problem, const QString &detail, int version);

// The store every unit of a run records into, opened on the first record.
class RecordFile
{
public:
    RecordFile(const StoreChoice &choice, Output &out);
    RecordFile(const RecordFile &) = delete;
    RecordFile &operator=(const RecordFile &) = delete;

    records::RecordStore &store();
    // After the command, with its status: the status to exit with. The
    // file must have taken every record (else 5, unless the command already
    // failed); the central copy is waited for, and its failure told, without
    // changing the status.
    int finish(int status);
    // The central copy was still busy at the end and left running.
    bool abandoned() const { return m_abandoned; }

private:
    StoreChoice m_choice;
    Output &m_out;
    records::RecordStore m_store;
    bool m_opened = false;
    bool m_abandoned = false;
};

// One unit's recorder: its own unit in the store, so that the units of a
// fixture, recorded at once, keep theirs apart; every record carries
// `serial` and the run's operator and reference. Without a file (--no-records)
// it keeps nothing.
records::Recorder unitRecorder(RecordFile *file, const Invocation &inv, const QString &serial);

} // namespace movra::cli
