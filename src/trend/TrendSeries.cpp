#include "trend/TrendSeries.h"

#include <cmath>

namespace movra::trend {

namespace {
constexpr int kFirstCapacity = 1024;
}

bool TrendSeries::append(qint64 ms, double value, bool newRun)
{
    if (!std::isfinite(value))
        return false;
    if (m_size > 0)
        ms = qMax(ms, timeAt(m_size - 1));

    const qint64 oldest = ms - kKeepMs;
    int stale = 0;
    while (stale < m_size && timeAt(stale) < oldest)
        ++stale;
    dropFront(stale);

    if (m_size == m_capacity) {
        if (m_capacity < kMaxPoints)
            grow();
        else
            dropFront(1);
    }
    const int s = slot(m_size);
    m_ms[std::size_t(s)] = ms;
    m_values[std::size_t(s)] = float(value);
    m_starts[std::size_t(s)] = newRun;
    ++m_size;
    ++m_appended;
    return true;
}

void TrendSeries::clear()
{
    // Numbers keep counting, so a reader's old numbers never match again.
    dropFront(m_size);
}

void TrendSeries::dropFront(int n)
{
    if (n <= 0)
        return;
    m_head = slot(n);
    m_size -= n;
    if (m_size == 0)
        m_head = 0;
}

// Doubling keeps the copies to a handful over a day; the copy puts the ring
// back in order so the new free space follows the newest point.
void TrendSeries::grow()
{
    const int capacity = m_capacity == 0 ? kFirstCapacity : qMin(m_capacity * 2, kMaxPoints);
    std::vector<qint64> ms(std::size_t(capacity), 0);
    std::vector<float> values(std::size_t(capacity), 0.0f);
    std::vector<bool> starts(std::size_t(capacity), false);
    for (int i = 0; i < m_size; ++i) {
        ms[std::size_t(i)] = timeAt(i);
        values[std::size_t(i)] = valueAt(i);
        starts[std::size_t(i)] = m_starts[std::size_t(slot(i))];
    }
    m_ms.swap(ms);
    m_values.swap(values);
    m_starts.swap(starts);
    m_capacity = capacity;
    m_head = 0;
}

int TrendSeries::runEnd(int i) const
{
    int end = qMax(0, i) + 1;
    while (end < m_size && !startsRun(end))
        ++end;
    return qMin(end, m_size);
}

int TrendSeries::lowerBound(qint64 ms) const
{
    int lo = 0, hi = m_size;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (timeAt(mid) < ms)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

std::size_t TrendSeries::memoryBytes() const
{
    return sizeof(*this) + m_ms.capacity() * sizeof(qint64) + m_values.capacity() * sizeof(float) +
           m_starts.capacity() / 8;
}

} // namespace movra::trend
