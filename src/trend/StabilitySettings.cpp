#include "trend/StabilitySettings.h"

#include <cmath>

#include "config/IniGroup.h"

namespace movra::trend {

using config::readIniGroup;
using config::writeIniGroup;

namespace {
const QString kGroup = QStringLiteral("trend");
const QString kWindow = QStringLiteral("windowSeconds");
const QString kTemperatureBand = QStringLiteral("temperatureBand");
const QString kHumidityBand = QStringLiteral("humidityBand");

double boundedBand(double band, double fallback)
{
    if (!std::isfinite(band))
        return fallback;
    // Tenths are what the readings carry; more digits would only show noise.
    return std::round(qBound(0.0, band, StabilitySettings::kMaxBand) * 10.0) / 10.0;
}
} // namespace

StabilitySettings StabilitySettings::bounded() const
{
    const StabilitySettings defaults;
    StabilitySettings s = *this;
    s.windowSeconds = qBound(kMinWindowSeconds, windowSeconds, kMaxWindowSeconds);
    s.temperatureBand = boundedBand(temperatureBand, defaults.temperatureBand);
    s.humidityBand = boundedBand(humidityBand, defaults.humidityBand);
    return s;
}

StabilitySettings StabilitySettings::load(const QString &stationIniPath)
{
    StabilitySettings s;
    for (const auto &kv : readIniGroup(stationIniPath, kGroup)) {
        bool ok = false;
        const double v = kv.second.toDouble(&ok);
        if (!ok || !std::isfinite(v))
            continue;
        if (kv.first == kWindow)
            s.windowSeconds =
                int(qBound<double>(kMinWindowSeconds, std::round(v), kMaxWindowSeconds));
        else if (kv.first == kTemperatureBand)
            s.temperatureBand = v;
        else if (kv.first == kHumidityBand)
            s.humidityBand = v;
    }
    return s.bounded();
}

bool StabilitySettings::save(const QString &stationIniPath) const
{
    const StabilitySettings s = bounded();
    return writeIniGroup(stationIniPath, kGroup,
                         {{kWindow, QString::number(s.windowSeconds)},
                          {kTemperatureBand, QString::number(s.temperatureBand)},
                          {kHumidityBand, QString::number(s.humidityBand)}});
}

} // namespace movra::trend
