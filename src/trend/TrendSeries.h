// One quantity's readings over the last day, oldest first, in a ring that
// never moves its points on append.
#pragma once

#include <QtGlobal>
#include <cstddef>
#include <vector>

namespace movra::trend {

struct TrendPoint
{
    qint64 ms = 0; // since the epoch
    float value = 0.0f;
};

class TrendSeries
{
public:
    static constexpr qint64 kKeepMs = 24LL * 3600 * 1000;
    // A day at three readings a second; faster feeds keep a shorter past.
    static constexpr int kMaxPoints = 1 << 18;

    // Points older than a day before `ms` fall out. A time earlier than the
    // newest (the clock was set back) is stored at the newest time, so the
    // series stays in time order. A value that is not a number is dropped.
    // A point that starts a run is not joined to the one before it.
    bool append(qint64 ms, double value, bool newRun = false);
    void clear();

    int size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    qint64 timeAt(int i) const { return m_ms[slot(i)]; }
    float valueAt(int i) const { return m_values[slot(i)]; }
    TrendPoint at(int i) const { return {timeAt(i), valueAt(i)}; }
    TrendPoint last() const { return at(m_size - 1); }
    // The oldest kept point always starts one.
    bool startsRun(int i) const { return i == 0 || m_starts[std::size_t(slot(i))]; }
    // Where the run holding point i ends (the next run's first point, or size()).
    int runEnd(int i) const;

    // Index of the first point at or after `ms` / after `ms` (size() if none).
    int lowerBound(qint64 ms) const;
    int upperBound(qint64 ms) const { return lowerBound(ms + 1); }

    // Counts every point ever appended; the oldest kept one is number
    // appended() - size(). Lets readers name a point across drops.
    quint64 appended() const { return m_appended; }
    quint64 firstNumber() const { return m_appended - quint64(m_size); }

    std::size_t memoryBytes() const;

private:
    int slot(int i) const
    {
        const int s = m_head + i;
        return s < m_capacity ? s : s - m_capacity;
    }
    void dropFront(int n);
    void grow();

    std::vector<qint64> m_ms;
    std::vector<float> m_values;
    std::vector<bool> m_starts;
    int m_capacity = 0;
    int m_head = 0;
    int m_size = 0;
    quint64 m_appended = 0;
};

} // namespace movra::trend
