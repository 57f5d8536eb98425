// Where a command's records go: one object told about the connection, each
// judged reading, each parameter write, each read of the parameters and the
// end. This one keeps nothing (--no-records).
#pragma once

#include <QString>

#include "records/Recorder.h"

namespace movra::cli {

using records::ParameterValues;

class RecordSink
{
public:
    virtual ~RecordSink() = default;

    // `station`: the address the command talks to.
    virtual void connected(const Identity & /*identity*/, const QString & /*ident*/,
                           int /*station*/)
    {
    }
    virtual void connectFailed(const QString & /*port*/, qint32 /*baud*/, bool /*testMode*/,
                               const QString & /*reason*/)
    {
    }
    virtual void reading(const Measurement & /*judged*/) {}
    virtual void written(Parameter /*parameter*/, qint32 /*value*/, bool /*confirmed*/) {}
    virtual void parametersRead(const ParameterValues & /*values*/) {}
    virtual void calibrated(const records::Calibration & /*calibration*/) {}
    virtual void disconnected(bool /*portLost*/, const QString & /*reason*/) {}
};

} // namespace movra::cli
