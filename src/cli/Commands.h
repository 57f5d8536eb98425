// The commands, and the exit status each outcome gives.
#pragma once

#include "cli/Line.h"
#include "cli/LineDefaults.h"
#include "cli/Options.h"
#include "cli/Output.h"
#include "cli/RecordSink.h"

namespace movra::cli {

enum Status : int {
    kDone = 0,
    kCheckFailed = 1, // also: a read-back differs from what was written
    kUsage = 2,
    kDeviceFault = 3,
    kPortFault = 4,
};

int runPorts(const Invocation &inv, Output &out);
int runRecordsExport(const Invocation &inv, Output &out);

// identify, read, params, write and check: connect, do the command, end.
class DeviceRun
{
public:
    DeviceRun(const Invocation &inv, const LineChoice &choice, Output &out, RecordSink &sink);
    int run();

private:
    // CommandDevice.cpp
    int connect();
    int connectAt(qint32 rate);
    int scan();
    void announce(Identity identity);
    int readings();
    int readOnce(int index, bool *passed);
    int readParameters(ParameterValues *values);
    int failed(Line::Outcome outcome, qint32 code, const LinkStats &from);
    int fail(int status, const QString &message);

    // CommandWrite.cpp
    int write();
    int followNewRate(qint32 rate);
    int compare(const ParameterValues &written, const ParameterValues &readBack);

    const Invocation &m_inv;
    LineChoice m_choice;
    Output &m_out;
    RecordSink &m_sink;
    Line m_line;
    QString m_lastError;
};

} // namespace movra::cli
