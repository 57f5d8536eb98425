#pragma once

// What the tool keeps about each transmitter it tests. Plain values: the
// store fills in what the caller leaves empty (id, time, station, version).

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QUuid>
#include <QVector>
#include <optional>
#include <variant>

#include "engine/Qualification.h"
#include "link/Protocol.h"
#include "link/Requests.h"

namespace movra::records {

// The numeric codes are stored in the local file; never renumber them.
enum class Mode { Normal = 0, Test = 1 };
// The engine's, with the codes the file holds.
using Quantity = movra::Quantity;
using Parameter = movra::Parameter;
static_assert(int(Quantity::Temperature) == 0 && int(Quantity::Humidity) == 1);
static_assert(int(Parameter::Address) == 0 && int(Parameter::BaudRate) == 1 &&
              int(Parameter::TempCorrection) == 2 && int(Parameter::HumiCorrection) == 3 &&
              int(Parameter::Order) == 4);
static_assert(int(OrderMode::Hardware) == 0 && int(OrderMode::HumidityFirst) == 1 &&
              int(OrderMode::TemperatureFirst) == 2);
enum class EndedBy { Operator = 0, PortLost = 1 };
enum class Kind { Attempt = 0, Reading = 1, Write = 2, Batch = 3, Disconnect = 4, Calibration = 5 };

// Who tested which unit against what: carried by every record of a run.
struct Trace
{
    QString serial; // as on the unit's label
    QString operatorName;
    QString reference;    // the reference instrument's identifier
    QDate referenceDue;   // invalid: not given
    bool expired = false; // used past its due date, by the operator's leave
};

// A connection attempt. A successful one opens a unit under test; a failed
// one belongs to none.
struct Attempt
{
    QString port;
    int baud = 0;
    Mode mode = Mode::Normal;
    QString ident; // identification text, or the test-mode reply in hex
    std::optional<int> address;
    bool ok = false;
    QString reason; // why it failed
};

// Values in their units: degrees Celsius or percent relative humidity.
struct Reading
{
    Quantity quantity = Quantity::Temperature;
    double value = 0;
    double reference = 0;
    double tolerance = 0;
    double deviation = 0;
    bool pass = false;
};

// Station address, baud rate and order as whole numbers, offsets in their
// units; `confirmed` is false when the write timed out.
struct ParameterWrite
{
    Parameter parameter = Parameter::Address;
    double value = 0;
    bool confirmed = false;
};

// The five values of a batch read; one that did not come back stays empty.
struct BatchRead
{
    std::optional<int> station;
    std::optional<int> baud;
    std::optional<double> tempOffset;
    std::optional<double> humiOffset;
    std::optional<int> order;
};

struct Disconnect
{
    EndedBy by = EndedBy::Operator;
    QString reason;
};

// One quantity calibrated against a reference, in its units; what was not
// reached stays empty.
struct Calibration
{
    Quantity quantity = Quantity::Temperature;
    double reference = 0;
    double tolerance = 0;
    std::optional<double> asFound;
    double correctionBefore = 0;
    std::optional<double> correctionAfter;
    std::optional<double> asLeft;
    int samples = 0;
    bool written = false;
    std::optional<bool> pass; // empty in a dry run
};

using RecordData =
    std::variant<Attempt, Reading, ParameterWrite, BatchRead, Disconnect, Calibration>;

struct Record
{
    QUuid id;
    QUuid unit;     // null for a failed attempt
    QDateTime time; // UTC
    int utcOffset = 0;
    QString station;
    QString toolVersion;
    RecordData data;
    Trace trace;

    Kind kind() const { return Kind(data.index()); }
    qint64 seq = 0; // position in the local store, filled when read back
};

struct Unit
{
    QUuid id;
    QDateTime started; // UTC
    QDateTime ended;   // invalid while open or when the tool stopped first
    int utcOffset = 0;
    QString station;
    QString port;
    QString ident;
    std::optional<int> address;
    std::optional<EndedBy> endedBy;
    QString endReason;
    QString serial;
};

struct UnitSummary
{
    Unit unit;
    int passed = 0;
    int failed = 0;
    std::optional<double> worstTemperature; // signed deviation of largest size
    std::optional<double> worstHumidity;
    qint64 seq = 0;
};

enum class Verdict { All, Passed, Failed, Unjudged };

// Units started in [from, to) (either end open when invalid) with the verdict.
struct UnitFilter
{
    QDateTime from;
    QDateTime to;
    Verdict verdict = Verdict::All;
    QString serial; // empty: any unit
};

// A new UUID whose first 48 bits are the time in milliseconds (version 7):
// ids of one station sort by time, which keeps the id index compact.
QUuid newId(const QDateTime &utc = QDateTime::currentDateTimeUtc());

// A value held in tenths, in its unit.
inline double fromTenths(qint64 tenths)
{
    return double(tenths) / 10.0;
}

} // namespace movra::records
