// The local time's offset from UTC at a moment, for stamping records.
//
// Asking the system costs tens of microseconds (the C library reads the
// zone file again each time), and the offset only changes when the clocks
// change, which they do on a quarter hour of UTC, or when the system's
// zone is changed. So the answer is kept until the next quarter hour, and
// for a minute at the most.
#pragma once

#include <QtGlobal>
#include <functional>

namespace movra::records {

class LocalOffset
{
public:
    // `ask` gives the offset in seconds at a time in ms since the epoch;
    // by default the system's.
    explicit LocalOffset(std::function<int(qint64)> ask = {});

    int at(qint64 ms);

    static constexpr qint64 kQuarterHourMs = 15 * 60 * 1000;
    static constexpr qint64 kLongestMs = 60 * 1000;

private:
    std::function<int(qint64)> m_ask;
    int m_offset = 0;
    qint64 m_fromMs = 0, m_untilMs = 0; // m_offset holds in [from, until)
};

} // namespace movra::records
