// A quantity's qualification band: reference ± tolerance, in units.
#pragma once

#include <QtGlobal>

namespace movra::trend {

struct Band
{
    bool enabled = false;
    double reference = 0.0;
    double tolerance = 0.0;

    // Judged in tenths, as the main window judges a reading, so a marker on
    // the chart always agrees with the log: it passes while
    // |value - reference| < tolerance.
    bool passes(double value) const
    {
        return qAbs(tenths(value) - tenths(reference)) < tenths(tolerance);
    }
    static qint64 tenths(double value) { return qRound64(value * 10.0); }
    bool marks(double value) const { return enabled && !passes(value); }
    double lower() const { return reference - tolerance; }
    double upper() const { return reference + tolerance; }
};

} // namespace movra::trend
