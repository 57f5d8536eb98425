// The local time's offset from UTC at a moment, for stamping records.
//
// Asking the system costs tens of microseconds (the C library reads the
// zone file again each time), and the offset only changes when the clocks
// change, which they do on a quarter hour of UTC, or when the system's
// zone is changed. So the answer is kept until the next quarter hour, and
// for a minute at the most.
#pragma once

#include <QDateTime>
#include <functional>

namespace movra::records {

class LocalOffset
{
public:
    // `ask` gives the offset in seconds at a time in ms since the epoch.
    explicit LocalOffset(std::function<int(qint64)> ask = systemOffset) : m_ask(std::move(ask)) {}

    int at(qint64 ms)
    {
        // A clock set back starts over too.
        if (ms < m_fromMs || ms >= m_untilMs) {
            m_offset = m_ask(ms);
            m_fromMs = ms;
            m_untilMs = qMin(ms - ms % kQuarterHourMs + kQuarterHourMs, ms + kLongestMs);
        }
        return m_offset;
    }

private:
    static int systemOffset(qint64 ms)
    {
        return QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
    }

    static constexpr qint64 kQuarterHourMs = 15 * 60 * 1000;
    static constexpr qint64 kLongestMs = 60 * 1000;
    std::function<int(qint64)> m_ask;
    int m_offset = 0;
    qint64 m_fromMs = 0, m_untilMs = 0; // m_offset holds in [from, until)
};

} // namespace movra::records
