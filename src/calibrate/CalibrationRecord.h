// A quantity's calibration as the record store keeps it, in its units.
// Header only: its users record, the procedure itself does not.
#pragma once

#include <QVector>

#include "calibrate/CalibrationRun.h"
#include "records/Record.h"

namespace movra::calibrate {

inline records::Calibration recordOf(Quantity q, const Result &r, bool dryRun)
{
    const auto units = [](const auto &tenths) {
        return tenths ? std::optional<double>(double(*tenths) / 10.0) : std::nullopt;
    };
    records::Calibration c;
    c.quantity = q;
    c.reference = records::fromTenths(r.target.reference);
    c.tolerance = records::fromTenths(r.target.tolerance);
    c.asFound = units(r.asFound);
    c.correctionBefore = records::fromTenths(r.correctionBefore);
    c.correctionAfter = units(r.correctionAfter);
    c.asLeft = units(r.asLeft);
    c.samples = r.samples;
    c.written = r.written;
    if (!dryRun)
        c.pass = r.pass;
    return c;
}

// What a run leaves to record: each quantity calibrated, once its correction
// was read; nothing before.
inline QVector<records::Calibration> recordsOf(const CalibrationRun &run)
{
    QVector<records::Calibration> out;
    const auto &params = run.parameters();
    if (!params[size_t(Parameter::TempCorrection)] && !params[size_t(Parameter::HumiCorrection)])
        return out;
    for (const Quantity q : kBoth) {
        if (run.plan().target(q).on)
            out << recordOf(q, run.result(q), run.outcome() == Outcome::DryRun);
    }
    return out;
}

} // namespace movra::calibrate
