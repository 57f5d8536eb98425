#include "trend/TrendHistory.h"

namespace movra::trend {

TrendHistory::TrendHistory()
{
    setSettings(m_settings);
}

void TrendHistory::append(Quantity q, qint64 ms, double value, qint64 intervalMs)
{
    TrendSeries &s = m_series[index(q)];
    // Of the interval before and the one now, the longer: a change of the
    // interval alone leaves the line whole.
    const qint64 interval = qMax(intervalMs, m_intervalMs[index(q)]);
    const bool gap = !s.isEmpty() && interval > 0 && ms - s.last().ms > 3 * interval;
    if (!s.append(ms, value, m_broken[index(q)] || gap))
        return;
    m_intervalMs[index(q)] = intervalMs;
    m_broken[index(q)] = false;
    m_trackers[index(q)].update(s);
    ++m_revision;
}

void TrendHistory::breakLines()
{
    m_broken.fill(true);
}

void TrendHistory::clear()
{
    for (Quantity q : kQuantities) {
        m_series[index(q)].clear();
        m_trackers[index(q)].reset();
    }
    ++m_revision;
}

void TrendHistory::setSettings(const StabilitySettings &settings)
{
    m_settings = settings.bounded();
    for (Quantity q : kQuantities)
        m_trackers[index(q)].setRule(m_settings.rule(q), m_series[index(q)]);
    ++m_revision;
}

qint64 TrendHistory::newestMs() const
{
    qint64 newest = 0;
    for (const TrendSeries &s : m_series)
        if (!s.isEmpty())
            newest = qMax(newest, s.last().ms);
    return newest;
}

std::size_t TrendHistory::memoryBytes() const
{
    std::size_t bytes = sizeof(*this);
    for (const TrendSeries &s : m_series)
        bytes += s.memoryBytes() - sizeof(TrendSeries);
    return bytes;
}

} // namespace movra::trend
