// A fixture: the same command on several ports at once, one unit a port,
// each its own run of the engine in this one event loop, so that a silent
// or lost unit costs the others nothing beyond its own time-outs. After the
// last unit, one summary of them all.
#pragma once

#include <memory>

#include "cli/Commands.h"

namespace movra::cli {

class RecordFile;

class FixtureRun
{
public:
    // file: null with --no-records.
    FixtureRun(const Invocation &inv, const LineChoice &choice, Output &out, RecordFile *file);
    ~FixtureRun();
    // The highest of the units' statuses; 0 when every unit passed.
    int run();

private:
    struct Unit;
    void summarize();

    const Invocation &m_inv;
    Output &m_out;
    std::vector<std::unique_ptr<Unit>> m_units;
};

} // namespace movra::cli
