// Both quantities' readings since the tool started (the last day of them),
// with each one's stability verdict kept up to date as points come in.
//
// The engine feeds it whether or not a trend window is open; a window reads
// it when it redraws. Appending stores the point and steps the verdict, both
// in constant time on average, so it can run inside the tick.
#pragma once

#include <array>
#include <cstddef>

#include "trend/Quantity.h"
#include "trend/Stability.h"
#include "trend/StabilitySettings.h"
#include "trend/TrendSeries.h"

namespace movra::trend {

class TrendHistory
{
public:
    TrendHistory();

    // `ms` since the epoch, `value` in units (℃ or %RH); `intervalMs`, how
    // often the quantity is being read, 0 when not periodically. A reading
    // more than three intervals after the one before starts a new line.
    void append(Quantity q, qint64 ms, double value, qint64 intervalMs = 0);
    // The link went down: the next reading of each quantity starts a new line.
    void breakLines();
    void clear();

    const TrendSeries &series(Quantity q) const { return m_series[index(q)]; }
    const Stability &stability(Quantity q) const { return m_trackers[index(q)].current(); }

    // Judges the kept history again under the new settings.
    void setSettings(const StabilitySettings &settings);
    const StabilitySettings &settings() const { return m_settings; }

    // Changes with every kept point and every change of settings: a view
    // redraws only when it moved.
    quint64 revision() const { return m_revision; }
    // The newest reading of either quantity; 0 when there is none.
    qint64 newestMs() const;
    std::size_t memoryBytes() const;

private:
    static int index(Quantity q) { return int(q); }

    std::array<TrendSeries, kQuantityCount> m_series;
    std::array<StabilityTracker, kQuantityCount> m_trackers;
    // The interval of each quantity's newest reading, and whether the link
    // went down after it.
    std::array<qint64, kQuantityCount> m_intervalMs{};
    std::array<bool, kQuantityCount> m_broken{};
    StabilitySettings m_settings;
    quint64 m_revision = 0;
};

} // namespace movra::trend
