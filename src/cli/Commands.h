// The commands, and the exit status each outcome gives.
#pragma once

#include <QVector>
#include <functional>
#include <memory>

#include "cli/Line.h"
#include "cli/LineDefaults.h"
#include "cli/Options.h"
#include "cli/Output.h"
#include "records/Recorder.h"

namespace movra::calibrate {
class CalibrationRun;
}

namespace movra::cli {

using records::ParameterValues;

enum Status : int {
    kDone = 0,
    kCheckFailed = 1, // also: a read-back differs from what was written
    kUsage = 2,
    kDeviceFault = 3,
    kPortFault = 4,
    kStoreFault = 5, // the record store could not keep, or could not give, the records
};

// What `movra --help` prints: the command line's contract with the scripts
// that call it. The README's "Scripting" section shows the same text.
const char *usageText();

int runPorts(const Invocation &inv, Output &out);
int runRecordsExport(const Invocation &inv, Output &out);

// identify, read, params, write, check and calibrate on one port: connect, do the
// command, end. start() returns at once; the run goes on in the event loop
// and ends by calling `done` with its exit status.
class DeviceRun
{
public:
    using Done = std::function<void(int status)>;

    DeviceRun(const Invocation &inv, const LineChoice &choice, Output &out,
              records::Recorder &recorder);
    void start(Done done);
    // start() and an event loop of its own until the end.
    int run();

    // Why the run did not pass: its last error; empty when it did.
    QString reason() const { return m_lastError; }

private:
    using Next = std::function<void(int status)>;

    // CommandDevice.cpp
    void command(Next next);
    void end(int status);
    void connect(Next next);
    void connectAt(qint32 rate, Next next);
    void scan(int index, const LinkStats &from, Next next);
    bool identified(Line::Outcome o);
    void learnOrder(Next next);
    void readings(Next next);
    void readingAt(int index, Next next);
    void readOnce(int index, Next next);
    void readParameters(Next next);
    void readParameter(int index, Next next);
    QString stationSilent(qint32 code, const LinkStats &from) const;
    int failed(Line::Outcome outcome, qint32 code, const LinkStats &from);
    int fail(int status, const QString &message);

    // CommandCalibrate.cpp
    void calibrate(Next next);
    int calibrated(const calibrate::CalibrationRun &run);

    // CommandWrite.cpp
    struct Writing;
    void write(Next next);
    void writeItem(size_t index, Next next);
    void writeEnded(Next next);
    void followNewRate(qint32 rate, Next next);
    int compare(const ParameterValues &written, const ParameterValues &readBack);

    const Invocation &m_inv;
    LineChoice m_choice;
    Output &m_out;
    records::Recorder &m_recorder;
    Line m_line;
    QString m_lastError;
    Done m_done;
    QVector<qint32> m_rates; // --baud auto: in the order tried
    quint64 m_firstTick = 0; // read and check: when the first reading was due
    int m_taken = 0;
    int m_failures = 0;
    ParameterValues m_values{}; // read so far
    std::shared_ptr<Writing> m_writing;
    std::shared_ptr<calibrate::CalibrationRun> m_calibration;
};

} // namespace movra::cli
