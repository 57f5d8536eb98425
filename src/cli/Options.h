// What a command line asks for, read by a table of options: every value is
// checked here, before anything opens the port, so a bad one costs the
// device nothing.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "engine/Qualification.h"
#include "engine/TickScheduler.h"

namespace movra::cli {

enum class Command {
    None,
    Help,
    Ports,
    Identify,
    Read,
    Params,
    Write,
    Check,
    RecordsExport,
    Calibrate,
};

struct Invocation
{
    Command command = Command::None;

    QString port;        // the first of ports; empty: the one Setting.ini remembers
    QStringList ports;   // --port as given, one a unit
    QStringList serials; // --serial: one a port, in the same order
    qint32 baud = 0;     // 0: the one Setting.ini remembers
    bool autoBaud = false;
    int station = 1;
    bool stationGiven = false;
    QString testPassword; // non-empty: test mode
    bool json = false;
    bool noRecords = false;
    QString db;
    int timeoutMs = 0; // 0: from the line time at the rate

    // From the environment, which main reads.
    QStringList extraPorts; // MOVRA_EXTRA_PORTS
    QString recordsUrl;     // MOVRA_RECORDS_URL
    TickScheduler::Mode tickMode = TickScheduler::Mode::WhenDue;

    // read and check
    int count = 1; // 0: until interrupted
    int intervalTicks = 100;
    std::optional<Check> temperature; // tenths, as the window types them
    std::optional<Check> humidity;

    // write: tenths for the offsets, a rate, an OrderMode
    std::optional<qint32> newStation;
    std::optional<qint32> newBaud;
    std::optional<qint32> tempOffset;
    std::optional<qint32> humiOffset;
    std::optional<qint32> order;

    // calibrate: references and tolerances in tenths
    std::optional<qint32> calTemp;
    std::optional<qint32> calHumi;
    int samples = 5;
    int settleSeconds = 60;
    int maxWaitSeconds = 600;
    qint32 tolTemp = 2;
    qint32 tolHumi = 10;
    bool dryRun = false;

    // By whom, against what: for every device command (--serial above).
    QString operatorName;
    QString reference;
    QDate referenceDue; // invalid: not given
    bool allowExpired = false;

    // records export
    QDateTime since;
    QDateTime until;
    QString format;        // "csv" or "json"; empty: json with --json, else csv
    QString exportStation; // the central database's records of this station only
};

// --port may be given this often: a fixture's units, each on its own port.
constexpr int kMaxUnits = 32;

struct Parsed
{
    Invocation invocation;
    QString error; // one line naming the option and what it accepts
    bool ok() const { return error.isEmpty(); }
};

// args without the program name. testPassword is MOVRA_TEST_PASSWORD.
Parsed parseArguments(const QStringList &args, const QString &envPassword);

QString commandName(Command command);

} // namespace movra::cli
