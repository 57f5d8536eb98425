#pragma once

// The one translation of what the engine reports into records, for the
// window and the command line alike: a unit from the connection to its end,
// each judged reading, each write with its outcome, each read of the five
// parameters, and failed connection attempts.

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

    // For the records from now on.
    void setTrace(const Trace &t) { trace = t; }

    // `station`: the address the tool talks to.
    void connected(const Identity &identity, const QString &ident, int station);
    void attemptFailed(const QString &port, qint32 baud, bool testMode, const QString &reason);
    // Only a judged value has a verdict to keep.
    void measured(const Measurement &m);
    // `value` as the device holds it (tenths for the corrections).
    void written(Parameter parameter, qint32 value, bool confirmed);
    void parametersRead(const ParameterValues &values);
    void calibrated(const Calibration &calibration);
    void disconnected(bool portLost, const QString &reason);
    bool unitOpen() const { return !unit.isNull(); }

private:
    // Into the unit of this recorder: several may record into one store.
    void add(RecordStore *store, const RecordData &data);

    std::function<RecordStore *()> target;
    Trace trace;
    QUuid unit; // null while none is open
};

} // namespace movra::records
