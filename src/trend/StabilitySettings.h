// The stability verdict's window and bands, kept in group [trend] of
// Station.ini (next to Setting.ini, which stays as the main window has it).
#pragma once

#include <QString>

#include "trend/Quantity.h"
#include "trend/Stability.h"

namespace movra::trend {

struct StabilitySettings
{
    static constexpr int kMinWindowSeconds = 10;
    static constexpr int kMaxWindowSeconds = 3600;
    static constexpr double kMaxBand = 50.0;

    int windowSeconds = 60;
    double temperatureBand = 0.2; // ℃
    double humidityBand = 1.0;    // %RH

    double band(Quantity q) const
    {
        return q == Quantity::Temperature ? temperatureBand : humidityBand;
    }
    StabilityRule rule(Quantity q) const { return {qint64(windowSeconds) * 1000, band(q)}; }
    // Within the ranges the editors offer; what is out of range is brought to
    // its nearest end.
    StabilitySettings bounded() const;
    bool operator==(const StabilitySettings &o) const
    {
        return windowSeconds == o.windowSeconds && temperatureBand == o.temperatureBand &&
               humidityBand == o.humidityBand;
    }
    bool operator!=(const StabilitySettings &o) const { return !(*this == o); }

    // A missing file, group or key, or a value that is no number, reads as
    // its default.
    static StabilitySettings load(const QString &stationIniPath);
    // Rewrites group [trend] only. False when the file cannot be written.
    bool save(const QString &stationIniPath) const;
};

} // namespace movra::trend
