#pragma once

// The one translation of what the engine reports into records, for the
// window and the command line alike: a unit from the connection to its end,
// each judged reading, each write with its outcome, each read of the five
// parameters, and failed connection attempts.

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <optional>

#include "engine/Session.h"
#include "records/RecordStore.h"

namespace movra::records {

using ParameterValues = std::array<std::optional<qint32>, kParameterCount>;

class Recorder
{
public:
    // `store` gives the store to record into, opened, or null while
    // recording is off; it is asked at each record. `trace` goes on every
    // record.
    explicit Recorder(std::function<RecordStore *()> store, const Trace &trace = Trace())
        : target(std::move(store)), trace(trace)
    {
    }

    // Who tests which unit against what, for the records from now on.
    void setTrace(const Trace &t) { trace = t; }

    // `station`: the address the tool talks to.
    void connected(const Identity &identity, const QString &ident, int station);
    void attemptFailed(const QString &port, qint32 baud, bool testMode, const QString &reason);
    // Only a judged value has a verdict to keep.
    void measured(const Measurement &m);
    // `value` as the device holds it (tenths for the corrections).
    void written(Parameter parameter, qint32 value, bool confirmed);
    void parametersRead(const ParameterValues &values);
    void calibrated(const Calibration &calibration) { add(calibration); }
    void disconnected(bool portLost, const QString &reason);
    bool unitOpen() const { return !unit.isNull(); }

private:
    // Into the unit of this recorder, as several may record into one store;
    // a failed attempt belongs to none.
    void add(const RecordData &data, bool inUnit = true);

    std::function<RecordStore *()> target;
    Trace trace;
    QUuid unit; // null while none is open
};

// Feeds what a window's session reports to a Recorder. The store opens at
// start-up on its writer thread, without the caller waiting.
class SessionRecorder : public QObject
{
    Q_OBJECT
public:
    SessionRecorder(Session &session, RecordStore &store, const QString &path,
                    const QString &centralUrl = QString());

    // Off: nothing is recorded, and the store is opened for reading only.
    void setEnabled(bool on) { enabled = on; }
    // Opens the store if it is not open yet: for writing in the background
    // while recording, for reading otherwise.
    void openStore();
    void setTrace(const Trace &trace) { recorder.setTrace(trace); }
    void calibrated(const Calibration &calibration) { recorder.calibrated(calibration); }

private:
    void onAttemptFailed(const QString &reason);
    void onWriteEnded(qint32 code, bool confirmed);

    Session &session;
    RecordStore &store;
    QString path;
    QString centralUrl;
    Recorder recorder;
    bool enabled = true;
    bool attempting = false; // a connection attempt is under way
    ParameterValues batch;
};

} // namespace movra::records
