#include "trend/TrendHistory.h"

namespace movra::trend {

TrendHistory::TrendHistory()
{
    setSettings(m_settings);
}

void TrendHistory::append(Quantity q, qint64 ms, double value)
{
    TrendSeries &s = m_series[index(q)];
    if (!s.append(ms, value))
        return;
    m_trackers[index(q)].update(s);
    ++m_revision;
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

qint64 TrendHistory::oldestMs() const
{
    qint64 oldest = 0;
    for (const TrendSeries &s : m_series)
        if (!s.isEmpty())
            oldest = oldest == 0 ? s.timeAt(0) : qMin(oldest, s.timeAt(0));
    return oldest;
}

std::size_t TrendHistory::memoryBytes() const
{
    std::size_t bytes = sizeof(*this);
    for (const TrendSeries &s : m_series)
        bytes += s.memoryBytes() - sizeof(TrendSeries);
    return bytes;
}

} // namespace movra::trend
